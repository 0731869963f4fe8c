#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/window.h"

namespace pelliwick {

namespace win32 {
struct WindowState;
}

// The game window on Windows: one top-level Win32 window, "Form1", that
// draws nothing and reports every WM_KEYDOWN and WM_SYSKEYDOWN with its
// virtual-key code. Construct it, then show() it: the first show() makes the
// window; close() and the destructor leave it to Windows to destroy with the
// thread.
class Win32WindowSystem : public WindowSystem {
 public:
  Win32WindowSystem();
  ~Win32WindowSystem() override;
  Win32WindowSystem(const Win32WindowSystem&) = delete;
  Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

  void show(const std::wstring& caption) override;
  void setKeyDownHandler(KeyDownHandler handler) override;
  void pumpEvents() override;
  void idle(WaitingFor reason, std::chrono::microseconds atMost) override;
  WindowHandle handle() override;
  void messageBox(const std::wstring& text) override;
  void close() override;

  // Whether the window was closed, or the process told to stop, while the
  // game is busy elsewhere (waiting for speech to be heard). Runs no key
  // event: keys stay queued for the next pump.
  bool closeRequested();

  // From any thread, at any time (a console's Ctrl+C): ends the game as a
  // close of the window does.
  void requestStop();

 private:
  // Detaches the window from the game; false when Windows refused.
  bool letGo();

  std::unique_ptr<win32::WindowState> state_;
};

}  // namespace pelliwick
