#pragma once

#include <filesystem>

#include "platform/win32/wave_data.h"

namespace pelliwick::win32 {

// Reads and decodes a cue's WAV file. Only a file on disk is read: a pipe,
// a console or a device is refused at once. Throws Failure.
WaveData loadWaveFile(const std::filesystem::path& file);

}  // namespace pelliwick::win32
