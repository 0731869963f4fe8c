// The program: the real backends, the game window, and one clear line on
// stderr when the game cannot start.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "brlapi/braille_worker.h"
#include "brlapi/brlapi_connection.h"
#include "espeak/espeak_engine.h"
#include "espeak/espeak_library.h"
#include "failure.h"
#include "game/form1.h"
#include "platform.h"
#include "sdl/sdl_window.h"
#include "sdl/stop_signals.h"
#include "sdl_audio/sdl_audio_output.h"
#include "sdl_audio/sdl_sound_system.h"
#include "speechd/joined_engine.h"
#include "system/system_clock.h"
#include "system/system_random.h"

namespace {

// The cues live beside the executable, wherever it was started from.
std::filesystem::path programFolder() {
  std::error_code error;
  const auto executable =
      std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    throw pelliwick::Failure("cannot find the program's folder: " +
                             error.message());
  }
  return executable.parent_path();
}

// One line, whatever the platform put in its message.
std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

int run() {
  pelliwick::SystemClock clock;
  pelliwick::SystemRandom random;
  // Made before the window, which tells it about focus, and ended after it.
  pelliwick::braille::BrailleWorker braille(
      pelliwick::braille::connectToBrltty);
  pelliwick::SdlWindowSystem window;
  window.setFocusHandler(
      [&braille](bool hasFocus) { braille.setFocused(hasFocus); });
  pelliwick::SdlAudioOutput audio;
  pelliwick::SdlSoundSystem sound(audio);
  // The stream is asked for at the first speech, so the audio device opens
  // when the game opens it, after the window.
  // A text being waited for is cut short when the window is closed, so the
  // program ends at once.
  auto closing = [&window] { return window.closeRequested(); };
  pelliwick::espeak::EspeakEngine embedded(
      [&audio]() -> pelliwick::SpeechStream& {
        return audio.speechStream(pelliwick::espeak::kSampleRate);
      },
      std::nullopt, closing);
  // The player's own speech-dispatcher voices come first when it runs.
  pelliwick::speechd::JoinedEngine speech(
      embedded, pelliwick::speechd::openLinkIfRunning(), closing);
  pelliwick::Platform platform{window, clock,           random, speech,
                               sound,  programFolder(), braille};
  pelliwick::Form1 form(platform);
  form.Form_Load();
  return 0;
}

}  // namespace

int main() {
  try {
    // Before any thread starts: the window turns them into a close.
    pelliwick::sdl_window::blockStopSignals();
    return run();
  } catch (const pelliwick::Failure& failure) {
    std::fprintf(stderr, "pelliwick: cannot start: %s\n",
                 oneLine(failure.what()).c_str());
  } catch (const pelliwick::ProgramClosed&) {
    // Closed before the game could catch it: still an orderly end.
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pelliwick: %s\n", oneLine(error.what()).c_str());
  }
  return 1;
}
