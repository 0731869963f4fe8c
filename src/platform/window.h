#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace pelliwick {

// What a wait loop is waiting for. The real window ignores it beyond the
// time limit; the test doubles use it to deliver scripted keys at the right
// moment.
enum class WaitingFor { Key, Time, Sound };

// The time limit of a wait that only an event can end: a key, a window
// event, or the end of a cue (the audio thread posts one).
constexpr std::chrono::microseconds kUntilAnEvent =
    std::chrono::microseconds::max();

// Opaque handle of the game window, handed to the sound device.
using WindowHandle = void*;

// Called with the Windows virtual-key code and the shift state of every
// key-down, auto-repeats included, and only from inside pumpEvents().
using KeyDownHandler = std::function<void(int keyCode, int shift)>;

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // Shows the window modeless with key preview on.
  virtual void show(const std::wstring& caption) = 0;
  virtual void setKeyDownHandler(KeyDownHandler handler) = 0;

  // Runs every pending window event and returns at once; never waits.
  // Throws ProgramClosed when the window was closed or the process was told
  // to stop.
  virtual void pumpEvents() = 0;

  // Between two passes of a wait loop: sleeps until an event is pending or
  // `atMost` has passed (never longer, and to within a millisecond), so that
  // the loops cost nothing while nothing happens. kUntilAnEvent has no limit.
  virtual void idle(WaitingFor reason, std::chrono::microseconds atMost) = 0;

  virtual WindowHandle handle() = 0;

  // A message box with an OK button only and no icon; returns when closed.
  // Throws ProgramClosed (and the box goes) when the window is closed or the
  // process told to stop while it is shown.
  virtual void messageBox(const std::wstring& text) = 0;

  // Closes the window; no further event of the program runs.
  virtual void close() = 0;
};

}  // namespace pelliwick
