// The program on Windows: COM, the real backends, the game window, and one
// clear line on stderr when the game cannot start.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "app/console_stop.h"
#include "app/exit_watchdog.h"
#include "app/game_run.h"
#include "app/reported.h"
#include "app/stderr_reporter.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/system/system_random.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/dsound_system.h"
#include "platform/win32/program_folder.h"
#include "platform/win32/sapi_engine.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_window.h"

namespace {

using pelliwick::app::kTeardownLimit;

int run(pelliwick::app::ExitWatchdog& watchdog) {
  pelliwick::win32::ComApartment com;
  pelliwick::Win32Clock clock;
  pelliwick::SystemRandom random;
  pelliwick::Win32WindowSystem window;
  // Ctrl+C in the console the game was started from ends it as a close of
  // its window does; and the end may take no longer than the limit from
  // then on. (A close of the window, or the end of the Windows session,
  // reaches the window itself.)
  pelliwick::app::ConsoleStopWatcher consoleStop(
      [&] {
        watchdog.arm(0, kTeardownLimit);
        window.requestStop();
      },
      2 * kTeardownLimit);
  pelliwick::DirectSoundSystem sound;
  // A text being waited for is cut short when the window is closed.
  pelliwick::SapiEngine speech([&window] { return window.closeRequested(); });
  pelliwick::Platform platform{
      window, clock, random, speech, sound, pelliwick::win32::programFolder()};
  return pelliwick::app::playGame(platform, watchdog);
}

}  // namespace

int main() {
  // Before any backend, which may report from then on.
  const pelliwick::app::ReportingToStderr reporting;
  return pelliwick::app::reported([] {
    // First: the report line needs somewhere to go.
    pelliwick::app::reportToParentConsole();
    pelliwick::app::ExitWatchdog watchdog([](int status) {
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    });
    const int status = run(watchdog);
    watchdog.disarm();
    return status;
  });
}
