#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <exception>
#include <utility>

#include "platform/win32/win32_window.h"

namespace pelliwick::win32 {

// What the game window's procedure shares with Win32WindowSystem. Everything
// but `stopRequested` and `wakeTarget` belongs to the window's thread.
struct WindowState {
  HWND window = nullptr;
  // Where another thread posts its wake-up; null once the window is gone.
  std::atomic<HWND> wakeTarget{nullptr};
  KeyDownHandler handler;
  // Key-downs run the handler only while the pump dispatches them.
  bool pumping = false;
  bool showingBox = false;
  bool closedByUser = false;
  bool closedByProgram = false;
  std::atomic<bool> stopRequested{false};
  // Key-downs that arrived outside the pump (a message box's own loop, a
  // wait for speech), in order, for the next pump: {code, shift}.
  std::deque<std::pair<int, int>> heldKeys;
  // Raised inside the window procedure, which must not throw through
  // Windows' code: rethrown by the pump.
  std::exception_ptr failure;

  // A close of the window, the end of the Windows session, or a stop.
  void closeByUser();
  // One key-down from the window procedure, `repeats` times over.
  void typed(int code, int repeats);
  // Runs the held keys; stops early when a key closes the window.
  void runHeldKeys();
};

// The game window's class, registered on first use.
const wchar_t* gameWindowClass();

// Ends the message box the game window owns (the box returns IDOK), so
// that its caller sees the close. Throws Failure when no box can be ended.
void endOwnedMessageBox(HWND owner);

}  // namespace pelliwick::win32
