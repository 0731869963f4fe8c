#pragma once

#include <filesystem>

#include "platform/braille.h"
#include "platform/clock.h"
#include "platform/random_source.h"
#include "platform/sound.h"
#include "platform/speech.h"
#include "platform/window.h"

namespace pelliwick {

// Everything the game reaches outside itself. The real backends and the
// test doubles both fill one of these.
struct Platform {
  WindowSystem& window;
  Clock& clock;
  RandomSource& random;
  SpeechEngine& speech;
  SoundSystem& sound;
  // The folder the cues are read from: the executable's own on Windows and
  // in a build tree, the data folder of a Linux install.
  std::filesystem::path programFolder;
  // Shows what the game says; none unless a backend is given.
  BrailleDisplay& braille = noBrailleDisplay();
};

}  // namespace pelliwick
