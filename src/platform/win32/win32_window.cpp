// What this implements of the window system: one top-level window, "Form1",
// shown modeless, that draws nothing and hands every key-down (WM_KEYDOWN
// and WM_SYSKEYDOWN, auto-repeats included) to the game with its
// virtual-key code, only from inside the pump; the pump that runs what is
// queued and never waits; a wait that sleeps until a message or a time
// limit; the message box; and the ends: a close of the window, the end of
// the Windows session, a stop from another thread. Ignored: mouse, painting,
// menus, typed characters (WM_CHAR) and the size and place of the window.
#include "platform/win32/win32_window.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <algorithm>
#include <optional>
#include <thread>
#include <utility>

#include "platform/failure.h"
#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/window_state.h"

namespace pelliwick {

using namespace std::chrono_literals;

namespace {

// The title of the Linux game's box too.
constexpr wchar_t kMessageBoxTitle[] = L"Pelliwick";

// Windows' timers tick every 15.6 ms unless asked for better: a timed wait
// asks for 1 ms while it lasts, so that a pause ends on time.
class FineTimer {
 public:
  FineTimer() {
    if (timeBeginPeriod(1) != TIMERR_NOERROR) {
      throw Failure("cannot ask Windows for a 1 ms timer");
    }
  }
  ~FineTimer() { timeEndPeriod(1); }
  FineTimer(const FineTimer&) = delete;
  FineTimer& operator=(const FineTimer&) = delete;
};

// Sets a flag for as long as it lives.
class Raised {
 public:
  explicit Raised(bool& flag) : flag_(flag) { flag_ = true; }
  ~Raised() { flag_ = false; }
  Raised(const Raised&) = delete;
  Raised& operator=(const Raised&) = delete;

 private:
  bool& flag_;
};

}  // namespace

Win32WindowSystem::Win32WindowSystem()
    : state_(std::make_unique<win32::WindowState>()) {}

Win32WindowSystem::~Win32WindowSystem() {
  // Nothing to report to at this point: the process is letting go of it.
  letGo();
}

bool Win32WindowSystem::letGo() {
  state_->wakeTarget = nullptr;
  const HWND window = std::exchange(state_->window, nullptr);
  if (window == nullptr) return true;
  // The window is not destroyed but left to Windows, which destroys it when
  // the game's thread ends, right after: under Wine with no window manager
  // DestroyWindow waits 2 s for one. From here on its messages get
  // Windows' own answers, and the game hears none.
  return SetWindowLongPtrW(window, GWLP_USERDATA, 0) != 0;
}

void Win32WindowSystem::show(const std::wstring& caption) {
  if (state_->window == nullptr) {
    state_->window = CreateWindowExW(
        0, win32::gameWindowClass(), caption.c_str(), WS_OVERLAPPEDWINDOW,
        CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr,
        GetModuleHandleW(nullptr), state_.get());
    if (state_->window == nullptr) {
      win32::failWithLastError("cannot create the window");
    }
    state_->closedByProgram = false;
    state_->wakeTarget = state_->window;
  } else if (!SetWindowTextW(state_->window, caption.c_str())) {
    win32::failWithLastError("cannot set the window's caption");
  }
  // Returns whether it was visible before: nothing to check.
  ShowWindow(state_->window, SW_SHOWNORMAL);
  // Windows may refuse the foreground to a program the player did not just
  // start; it then flashes the window's button instead, as it should.
  SetForegroundWindow(state_->window);
}

void Win32WindowSystem::setKeyDownHandler(KeyDownHandler handler) {
  state_->handler = std::move(handler);
}

void Win32WindowSystem::pumpEvents() {
  win32::WindowState& state = *state_;
  if (state.closedByProgram || state.window == nullptr) return;
  if (state.stopRequested) state.closedByUser = true;
  if (state.closedByUser) throw ProgramClosed();
  {
    const Raised pumping(state.pumping);
    // What arrived while the pump did not run came first.
    state.runHeldKeys();
    // No TranslateMessage: the game reads key-downs, not characters, and a
    // WM_SYSCHAR with Alt held would only make Windows beep.
    MSG message;
    while (!state.closedByUser && !state.failure &&
           PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        state.closedByUser = true;
        break;
      }
      DispatchMessageW(&message);
    }
  }
  if (state.failure) std::rethrow_exception(std::exchange(state.failure, {}));
  if (state.stopRequested) state.closedByUser = true;
  if (state.closedByUser) throw ProgramClosed();
}

void Win32WindowSystem::idle(WaitingFor, std::chrono::microseconds atMost) {
  const win32::WindowState& state = *state_;
  if (atMost <= 0us) return;
  if (state.window == nullptr) {
    // No window, so no event can come: just do not spin.
    std::this_thread::sleep_for(
        std::min<std::chrono::microseconds>(atMost, 10ms));
    return;
  }
  if (!state.heldKeys.empty() || state.closedByUser || state.stopRequested ||
      state.failure) {
    return;
  }
  DWORD milliseconds = INFINITE;
  if (atMost != kUntilAnEvent) {
    const auto whole = std::chrono::floor<std::chrono::milliseconds>(atMost);
    milliseconds = static_cast<DWORD>(
        std::min<std::chrono::milliseconds::rep>(whole.count(), INFINITE - 1));
    // Under a millisecond to go: the caller's next pass is soon enough.
    if (milliseconds == 0) return;
  }
  std::optional<FineTimer> fine;
  if (milliseconds != INFINITE) fine.emplace();
  // Wakes for anything queued, even a message a look at the queue (while
  // speech was waited for) has already seen.
  if (MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE) == WAIT_FAILED) {
    win32::failWithLastError("cannot wait for window events");
  }
}

WindowHandle Win32WindowSystem::handle() { return state_->window; }

void Win32WindowSystem::messageBox(const std::wstring& text) {
  win32::WindowState& state = *state_;
  if (state.stopRequested) state.closedByUser = true;
  if (state.closedByUser) throw ProgramClosed();
  int result = 0;
  {
    const Raised showing(state.showingBox);
    // The text goes as it is: Windows' box breaks the line at a lone "\r"
    // (as at "\n" or "\r\n"), unlike SDL's. A close or stop while the box
    // is shown ends the box (window_procedure.cpp).
    result = MessageBoxW(state.window, text.c_str(), kMessageBoxTitle, MB_OK);
  }
  if (result == 0) win32::failWithLastError("cannot show the message box");
  if (state.failure) std::rethrow_exception(std::exchange(state.failure, {}));
  if (state.stopRequested) state.closedByUser = true;
  if (state.closedByUser) throw ProgramClosed();
}

bool Win32WindowSystem::closeRequested() {
  win32::WindowState& state = *state_;
  if (state.closedByProgram || state.window == nullptr) return false;
  // Only sent and posted messages: typed keys stay queued for the pump, and
  // keys another program posted are held for it (window_procedure.cpp).
  MSG message;
  while (!state.closedByUser &&
         PeekMessageW(&message, nullptr, 0, 0,
                      PM_REMOVE | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE)) {
    if (message.message == WM_QUIT) {
      state.closedByUser = true;
      break;
    }
    DispatchMessageW(&message);
  }
  return state.closedByUser || state.stopRequested;
}

void Win32WindowSystem::requestStop() {
  state_->stopRequested = true;
  // Wakes a wait, and ends a message box. When the post fails the window
  // is gone or its queue full of messages, each of which wakes the pump,
  // and the pump sees the flag: nothing is lost.
  if (const HWND target = state_->wakeTarget; target != nullptr) {
    PostMessageW(target, win32::kWakeMessage, 0, 0);
  }
}

void Win32WindowSystem::close() {
  win32::WindowState& state = *state_;
  state.closedByProgram = true;
  state.heldKeys.clear();
  if (!letGo()) win32::failWithLastError("cannot close the window");
}

}  // namespace pelliwick
