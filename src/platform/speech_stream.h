#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace pelliwick {

// The speech engine's way into the mixer: a single stream of mono 16-bit
// PCM at a fixed sample rate, played after what was appended before it.
// All methods are safe to call from any thread.
class SpeechStream {
 public:
  virtual ~SpeechStream() = default;

  // Appends samples and returns the stream position (samples appended since
  // the stream was made) just after them.
  virtual std::uint64_t append(const std::int16_t* samples,
                               std::size_t count) = 0;

  // Drops everything not yet played; silent from the next audio period on.
  // Counts the dropped samples as played, so waiters wake.
  virtual void clear() = 0;

  // Position up to which the samples have been played (or dropped).
  virtual std::uint64_t playedPosition() const = 0;

  // Blocks until playedPosition() reaches `position`.
  virtual void waitPlayed(std::uint64_t position) = 0;
  // The same, for at most `atMost`; false when time ran out first.
  virtual bool waitPlayedFor(std::uint64_t position,
                             std::chrono::milliseconds atMost) = 0;
};

// Hands out the stream when it is first needed: the sound device may be
// opened after the engine is made.
using StreamSource = std::function<SpeechStream&()>;

}  // namespace pelliwick
