// The cue path from the file's bytes to the mixed sound: decode the bytes as
// the game loads a cue file, then play the buffer as the fanfare does and
// render it. A crash, a hang or a sample that is not a finite value within
// full scale stops the run.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/failure.h"
#include "platform/mixer/mixer.h"
#include "platform/sdl_audio/wav_file.h"

namespace {

using namespace pelliwick;

constexpr int kOutputRate = 44100;
constexpr std::size_t kPeriod = 512;
// Enough for every cue the game plays; longer sounds are cut off here so
// that one input stays fast.
constexpr std::size_t kMostFrames = kOutputRate / 2;

struct Play {
  int freq, pan, volume;
};
// The frequencies, pans and volumes the game gives a cue.
constexpr Play kPlays[] = {{11026, -1111, 0}, {8000, 0, -888}, {15000, 0, 0}};

// SDL allocates the length a chunk declares before reading it. Under
// AddressSanitizer a 4 GB allocation costs half a second and 500 MB of
// shadow memory (a release build only reserves it), so such inputs would
// slow the run to a crawl: skip chunks that declare more than this.
constexpr std::uint32_t kLargestChunk = 16u << 20;

bool declaresHugeChunk(const std::uint8_t* data, std::size_t size) {
  // Any four printable bytes followed by a length: SDL finds chunks even
  // where a well-formed file would not have them.
  for (std::size_t at = 4; at + 4 <= size; ++at) {
    bool named = true;
    for (std::size_t i = at - 4; i < at; ++i) {
      named = named && data[i] >= 0x20 && data[i] < 0x7F;
    }
    const std::uint32_t length = data[at] | data[at + 1] << 8 |
                                 data[at + 2] << 16 |
                                 static_cast<std::uint32_t>(data[at + 3]) << 24;
    if (named && length > kLargestChunk) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (declaresHugeChunk(data, size)) return 0;
  std::shared_ptr<const PcmSound> sound;
  try {
    sound = decodeWav(std::span(data, size), "fuzz.wav");
  } catch (const Failure&) {
    return 0;
  }
  const Play& how = kPlays[size % std::size(kPlays)];
  Mixer mixer(kOutputRate);
  const auto buffer = mixer.createBuffer(
      sound, {DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME});
  buffer->setCurrentPosition(0);
  buffer->setVolume(how.volume);
  buffer->setPan(how.pan);
  buffer->setFrequency(how.freq);
  buffer->play(0);
  std::vector<float> out(2 * kPeriod);
  for (std::size_t done = 0;
       done < kMostFrames && buffer->getStatus() == DSBSTATUS_PLAYING;
       done += kPeriod) {
    mixer.render(out.data(), kPeriod);
    for (float sample : out) {
      if (!std::isfinite(sample) || std::abs(sample) > 1.0f) {
        std::fprintf(stderr, "bad sample %g\n", static_cast<double>(sample));
        std::abort();
      }
    }
  }
  buffer->stop();
  return 0;
}
