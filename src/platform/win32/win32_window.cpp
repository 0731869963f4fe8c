// Placeholder until the Win32 window lands.
#include "win32_window.h"

#include "failure.h"

namespace pelliwick {

struct Win32WindowSystem::State {};

Win32WindowSystem::Win32WindowSystem() : state_(new State) {}
Win32WindowSystem::~Win32WindowSystem() { delete state_; }
void Win32WindowSystem::show(const std::wstring&) {
  throw Failure("no window yet");
}
void Win32WindowSystem::setKeyDownHandler(KeyDownHandler) {}
void Win32WindowSystem::pumpEvents() {}
void Win32WindowSystem::idle(WaitingFor, std::chrono::microseconds) {}
WindowHandle Win32WindowSystem::handle() { return nullptr; }
void Win32WindowSystem::messageBox(const std::wstring&) {}
void Win32WindowSystem::close() {}
bool Win32WindowSystem::closeRequested() { return false; }
void Win32WindowSystem::requestStop() {}

}  // namespace pelliwick
