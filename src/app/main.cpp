// The program: the process settings, the real backends, the game window,
// and one clear line on stderr when the game cannot start.
#include <unistd.h>

#include <cstdio>

#include "app/cue_folder.h"
#include "app/exit_watchdog.h"
#include "app/game_run.h"
#include "app/process_settings.h"
#include "app/reported.h"
#include "app/stderr_reporter.h"
#include "app/stop_signals.h"
#include "platform/brlapi/braille_worker.h"
#include "platform/brlapi/brlapi_connection.h"
#include "platform/espeak/espeak_engine.h"
#include "platform/espeak/espeak_library.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl/x11_errors.h"
#include "platform/sdl_audio/sdl_audio_output.h"
#include "platform/sdl_audio/sdl_sound_system.h"
#include "platform/speechd/joined_engine.h"
#include "platform/system/system_clock.h"
#include "platform/system/system_random.h"

namespace {

using pelliwick::app::kTeardownLimit;

int run(pelliwick::app::ExitWatchdog& watchdog) {
  pelliwick::SystemClock clock;
  pelliwick::SystemRandom random;
  // Made before the window, which tells it about focus, and ended after it.
  pelliwick::braille::BrailleWorker braille(
      pelliwick::braille::connectToBrltty);
  pelliwick::SdlWindowSystem window;
  window.setFocusHandler(
      [&braille](bool hasFocus) { braille.setFocused(hasFocus); });
  // A stop ends the game as a close does; and the end may take no longer
  // than the limit from then on.
  pelliwick::app::StopSignalWatcher stopSignals([&](int) {
    watchdog.arm(0, kTeardownLimit);
    window.requestStop();
  });
  // A text being waited for, or a sound server that does not answer at
  // start, is given up when the window is closed, so the program ends at
  // once.
  auto closing = [&window] { return window.closeRequested(); };
  // The game opens the device on its main thread, after the window; the
  // stream is asked for at the first speech.
  pelliwick::SdlAudioOutput audio(closing);
  pelliwick::SdlSoundSystem sound(audio);
  pelliwick::espeak::EspeakEngine embedded(
      [&audio]() -> pelliwick::SpeechStream& {
        return audio.speechStream(pelliwick::espeak::kSampleRate);
      },
      std::nullopt, closing);
  // The player's own speech-dispatcher voices come first when it runs.
  pelliwick::speechd::JoinedEngine speech(
      embedded, pelliwick::speechd::openLinkIfRunning(), closing);
  pelliwick::Platform platform{window, clock, random,
                               speech, sound, pelliwick::app::cueFolder(),
                               braille};
  return pelliwick::app::playGame(platform, watchdog);
}

}  // namespace

int main() {
  // Before any backend, which may report from then on.
  const pelliwick::app::ReportingToStderr reporting;
  return pelliwick::app::reported([] {
    // Before any thread starts, as threads and children inherit them.
    // The message box's process dies with the game.
    pelliwick::app::restoreSignalsInChildren(
        pelliwick::sdl_window::tieBoxToGame);
    pelliwick::app::ignoreBrokenPipes();
    pelliwick::app::blockStopSignals();
    pelliwick::app::preventBusAutolaunch();
    // A lost X server ends the game at once with one line and status 1,
    // instead of Xlib's own lines and exit().
    pelliwick::sdl_window::endOnLostDisplay([] { _exit(1); });
    pelliwick::app::ExitWatchdog watchdog([](int status) { _exit(status); });
    const int status = run(watchdog);
    // exit() would flush the stuck device's files and wait in it.
    if (pelliwick::audioDeviceLeftStuck()) {
      std::fflush(stderr);
      _exit(status);
    }
    // The sanitizers' checks at exit come after this and are not watched.
    watchdog.disarm();
    return status;
  });
}
