// The cue contract run against DirectSound under Wine, with a hidden window
// of the test's own for the cooperative level and the wakes.
#include "platform/win32/dsound_system.h"
#include "sound_contract.h"
// (after the game's names)
#include <windows.h>

#include "platform/win32/com_apartment.h"
#include "platform/win32/program_folder.h"
#include "platform/win32/win32_messages.h"

namespace pelliwick::contract {
namespace {

class HiddenWindow {
 public:
  HiddenWindow() {
    WNDCLASSW type{};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"PelliwickSoundTest";
    RegisterClassW(&type);  // fails harmlessly when already registered
    window_ =
        CreateWindowExW(0, L"PelliwickSoundTest", L"sound test", 0, 0, 0, 10,
                        10, nullptr, nullptr, type.hInstance, nullptr);
  }
  ~HiddenWindow() { DestroyWindow(window_); }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

class DirectSoundDriver : public SoundDriver {
 public:
  std::shared_ptr<SoundRoot> createRoot() override {
    return system_.createRoot();
  }
  WindowHandle window() override { return window_.get(); }
  // The build puts the cues beside the test programs.
  std::filesystem::path cueFolder() override { return win32::programFolder(); }
  void forgetWakes() override {
    MSG message;
    while (PeekMessageW(&message, nullptr, win32::kWakeMessage,
                        win32::kWakeMessage, PM_REMOVE)) {
    }
  }
  bool waitForWake(std::chrono::milliseconds atMost) override {
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(atMost.count());
    for (;;) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == win32::kWakeMessage) return true;
        DispatchMessageW(&message);
      }
      const auto left = static_cast<long>(deadline - GetTickCount());
      if (left <= 0) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left),
                                QS_ALLINPUT);
    }
  }

 private:
  win32::ComApartment com_;
  HiddenWindow window_;
  DirectSoundSystem system_;
};

INSTANTIATE_TEST_SUITE_P(
    DirectSound, SoundContract,
    testing::Values(SoundBackend{
        "DirectSound",
        [] { return std::unique_ptr<SoundDriver>(new DirectSoundDriver); }}),
    backendName);

}  // namespace
}  // namespace pelliwick::contract
