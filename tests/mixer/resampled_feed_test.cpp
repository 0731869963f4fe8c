#include "platform/mixer/resampled_feed.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelliwick {
namespace {

// Where a feed stands after pulling some frames, and how long the fade-out
// after a cut lasts from where it stands.
struct Row {
  const char* what;
  int inputRate;
  int outputRate;
  std::size_t length;
  bool looping;
  double start;
  std::size_t pulled;  // output frames
  double position;     // source frame heard next
  std::size_t untilEnd;
  float fadeFrom;
  std::size_t fadeOutFrames;  // output frames until silence
};

TEST(ResampledFeed, PositionsAndFades) {
  const Row rows[] = {
      {"copied as is", 8000, 8000, 1000, false, 0, 100, 100, 900, 1, 24},
      {"twice the rate", 22050, 44100, 1000, false, 0, 100, 50, 1900, 1, 132},
      {"half the rate", 44100, 22050, 1000, false, 0, 100, 200, 400, 1, 66},
      {"from a set frame", 11025, 44100, 1000, false, 500, 40, 510, 1960, 1,
       132},
      {"more than a chunk", 11025, 44100, 1000, false, 0, 600, 150, 3400, 1,
       132},
      {"looping wraps", 8000, 8000, 100, true, 90, 30, 20, 80, 1, 24},
      {"past the end", 8000, 8000, 100, false, 90, 30, 120, 0, 1, 24},
      {"a fade already half way", 44100, 44100, 1000, false, 0, 0, 0, 1000,
       0.5f, 66},
      {"a fade already silent", 44100, 44100, 1000, false, 0, 0, 0, 1000, 0, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::vector<float> samples(row.length, 0.5f);
    FloatSource source(samples.data(), samples.size(), 1);
    ResampledFeed feed(1, row.inputRate, row.outputRate);
    feed.seek(row.start);
    for (std::size_t left = row.pulled; left > 0;) {
      const std::size_t chunk = std::min(left, ResampledFeed::kChunkFrames);
      feed.pull(source, chunk, row.looping);
      left -= chunk;
    }
    EXPECT_DOUBLE_EQ(feed.position(), row.position);
    EXPECT_EQ(feed.framesUntil(static_cast<double>(row.length)), row.untilEnd);

    feed.fade.value = row.fadeFrom;
    std::size_t frames = 0;
    float out[2] = {};
    while (frames < 10'000 && !feed.mixFadeOut(source, row.looping, out, 1)) {
      ++frames;
    }
    // Within a frame: the float steps need not add up to 1 exactly.
    EXPECT_NEAR(static_cast<double>(frames + 1),
                static_cast<double>(row.fadeOutFrames), 1.0);
    EXPECT_EQ(feed.fade.value, 0.0f);
  }
}

}  // namespace
}  // namespace pelliwick
