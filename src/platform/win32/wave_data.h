#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pelliwick::win32 {

// A cue's sound as a DirectSound buffer takes it: 16-bit PCM, one or two
// channels, at the file's own rate.
struct WaveData {
  int channels = 0;
  int sampleRate = 0;
  std::vector<std::int16_t> samples;  // interleaved

  std::size_t frames() const {
    return channels > 0 ? samples.size() / static_cast<std::size_t>(channels)
                        : 0;
  }
};

// Decodes a whole WAV file held in memory: PCM of 8, 16, 24 or 32 bits,
// 32- or 64-bit float, IMA ADPCM and mu-law, plain or in the extensible
// format; more than two channels are folded to stereo. Throws Failure,
// naming `name`, for anything else or anything broken.
WaveData decodeWave(std::span<const std::uint8_t> bytes,
                    const std::string& name);

}  // namespace pelliwick::win32
