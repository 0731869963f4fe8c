// Figures for the Win32 game window, printed, not judged (run it under Wine
// with wine-run.sh):
//   window_figures idle SECONDS   waits at a key wait as the game does for
//                                 SECONDS (measure its CPU from outside);
//   window_figures box            shows the no-voice message box;
//   window_figures close bare|game
//                                 how long a close takes, from the close
//                                 posted to the window gone, for a bare
//                                 Win32 window or for the game's; prints
//                                 when the close was posted (Unix time, ms)
//                                 for a script to time the process's end.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/failure.h"
#include "platform/win32/win32_window.h"

namespace {

using Clock = std::chrono::steady_clock;

void printUnixMilliseconds(const char* what) {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
      now.dwLowDateTime;
  // 100 ns ticks since 1601.
  std::printf("%s at %llu ms\n", what, ticks / 10000 - 11644473600000ULL);
  std::fflush(stdout);
}

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

LRESULT CALLBACK bareProcedure(HWND window, UINT message, WPARAM wParam,
                               LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

// The textbook window: DefWindowProc destroys it on WM_CLOSE.
void closeBareWindow() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = bareProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"Bare";
  RegisterClassW(&windowClass);
  const HWND window = CreateWindowW(
      L"Bare", L"Bare", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
      200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  MSG message;
  const auto settle = Clock::now();
  while (millisecondsSince(settle) < 500) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
  const auto start = Clock::now();
  printUnixMilliseconds("close posted");
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  std::printf("bare window: close posted to window destroyed %.0f ms\n",
              millisecondsSince(start));
}

void closeGameWindow() {
  pelliwick::Win32WindowSystem window;
  window.show(L"Form1");
  const auto settle = Clock::now();
  while (millisecondsSince(settle) < 500) {
    window.pumpEvents();
    window.idle(pelliwick::WaitingFor::Time, std::chrono::milliseconds(10));
  }
  const auto start = Clock::now();
  printUnixMilliseconds("close posted");
  PostMessageW(static_cast<HWND>(window.handle()), WM_SYSCOMMAND, SC_CLOSE, 0);
  double seen = 0;
  try {
    for (;;) {
      window.pumpEvents();
      window.idle(pelliwick::WaitingFor::Key, pelliwick::kUntilAnEvent);
    }
  } catch (const pelliwick::ProgramClosed&) {
    seen = millisecondsSince(start);
  }
  window.close();
  std::printf(
      "game window: close posted to close seen %.1f ms, to window "
      "destroyed %.0f ms\n",
      seen, millisecondsSince(start));
}

void waitAtAKey(double seconds) {
  pelliwick::Win32WindowSystem window;
  int keys = 0;
  window.setKeyDownHandler([&keys](int, int) { ++keys; });
  window.show(L"Form1");
  const auto start = Clock::now();
  std::thread stopper([&window, seconds] {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    window.requestStop();
  });
  long passes = 0;
  try {
    for (;; ++passes) {
      window.pumpEvents();
      window.idle(pelliwick::WaitingFor::Key, pelliwick::kUntilAnEvent);
    }
  } catch (const pelliwick::ProgramClosed&) {
  }
  stopper.join();
  std::printf("waited %.1f s at a key wait: %ld passes, %d keys\n",
              millisecondsSince(start) / 1000, passes, keys);
  const auto closing = Clock::now();
  window.close();
  std::printf("game window: close() %.0f ms\n", millisecondsSince(closing));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "idle") {
    waitAtAKey(argc > 2 ? std::atof(argv[2]) : 10);
  } else if (mode == "box") {
    // The no-voice box, to be looked at (and closed) from outside.
    pelliwick::Win32WindowSystem window;
    window.show(L"Form1");
    window.messageBox(
        L"Sorry but I couldn't find any voices to use\rPlease contact "
        L"Orvanne");
  } else if (mode == "close" && argc > 2 && std::string(argv[2]) == "bare") {
    closeBareWindow();
  } else if (mode == "close") {
    closeGameWindow();
  } else {
    std::fprintf(
        stderr, "usage: window_figures idle SECONDS | close bare|game | box\n");
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
