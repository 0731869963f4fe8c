#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelliwick {

// A whole sound held in memory, decoded to float so that the audio thread
// never converts formats.
struct PcmSound {
  // Interleaved frames of `channels` samples each, nominally in [-1, 1].
  std::vector<float> samples;
  int channels = 1;  // 1 or 2
  int sampleRate = 0;
  // Size of one frame in the format the sound came in, so that byte
  // offsets given by the game map onto frames.
  std::uint32_t bytesPerFrame = 2;

  std::size_t frames() const {
    return channels > 0 ? samples.size() / static_cast<std::size_t>(channels)
                        : 0;
  }
};

}  // namespace pelliwick
