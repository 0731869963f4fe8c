// What this implements of Windows' console: the parent's console for the
// report line, and its Ctrl+C, Ctrl+Break and close events as stops.
// Ignored: the log-off and shutdown events, which Windows sends to services
// only (a windowed program hears of them as WM_ENDSESSION).
#include "app/console_stop.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/win32/win32_failure.h"

namespace pelliwick::app {

namespace {

// Windows' handler is a plain function: the watcher's state is the
// process's.
std::mutex watcherMutex;
ConsoleStopWatcher::OnStop currentStop;
DWORD closeGraceMilliseconds = 0;

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT &&
      event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  DWORD grace = 0;
  {
    const std::lock_guard lock(watcherMutex);
    if (!currentStop) return FALSE;
    currentStop();
    grace = closeGraceMilliseconds;
  }
  // Returning from a close lets Windows end the process at once.
  if (event == CTRL_CLOSE_EVENT) Sleep(grace);
  return TRUE;
}

bool hasStderr() {
  const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

void reportToParentConsole() {
  if (hasStderr()) return;
  // Started from the desktop, or by a program without a console: no one
  // would read the report, and that is no failure.
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (std::freopen("CONOUT$", "w", stderr) == nullptr) {
    win32::failWithLastError("cannot write to the console");
  }
}

ConsoleStopWatcher::ConsoleStopWatcher(OnStop onStop,
                                       std::chrono::milliseconds grace) {
  {
    const std::lock_guard lock(watcherMutex);
    currentStop = std::move(onStop);
    closeGraceMilliseconds = static_cast<DWORD>(grace.count());
  }
  if (!SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
    const DWORD error = GetLastError();
    const std::lock_guard lock(watcherMutex);
    currentStop = nullptr;
    throw Failure("cannot watch the console: " +
                  win32::describeLastError(error));
  }
}

ConsoleStopWatcher::~ConsoleStopWatcher() {
  SetConsoleCtrlHandler(onConsoleEvent, FALSE);
  const std::lock_guard lock(watcherMutex);
  currentStop = nullptr;
}

}  // namespace pelliwick::app
