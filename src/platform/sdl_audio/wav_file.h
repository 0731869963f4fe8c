#pragma once

#include <filesystem>
#include <memory>

#include "mixer/pcm_sound.h"

namespace pelliwick {

// Reads any WAV that SDL_LoadWAV reads and decodes it to float, keeping its
// sample rate. Sounds with more than two channels are folded to stereo.
// Throws Failure when the file is missing or unreadable.
std::shared_ptr<const PcmSound> loadWavFile(const std::filesystem::path& file);

}  // namespace pelliwick
