#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "platform/mixer/pcm_sound.h"

namespace pelliwick {

// Reads any WAV that SDL_LoadWAV reads and decodes it to float, keeping its
// sample rate. Sounds with more than two channels are folded to stereo.
// Throws Failure when the file is missing, unreadable or not a regular file
// (a named pipe or a device is refused without waiting on it).
std::shared_ptr<const PcmSound> loadWavFile(const std::filesystem::path& file);

// The same from the file's bytes; `name` only goes into the failure.
std::shared_ptr<const PcmSound> decodeWav(std::span<const std::uint8_t> bytes,
                                          const std::string& name);

}  // namespace pelliwick
