// What this implements of the speech engine's audio output (the SAPI voice
// playing to the default device): one queue of synthesised samples heard in
// order, a purge that silences it within one device period, and positions
// to wait on. What it ignores: audio formats other than mono 16-bit, output
// devices other than the mixer, bookmarks and audio events.
#include "platform/mixer/speech_channel.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/failure.h"

namespace pelliwick {

namespace {
// Played samples are cut off the front of the queue once this many have
// piled up, so a long session does not keep everything ever spoken.
constexpr std::size_t kCompactAfter = 1 << 16;
// More than any filter here reads ahead.
constexpr std::size_t kLookAheadRoom = 512;
constexpr float kScale = 1.0f / 32768.0f;
}  // namespace

SpeechChannel::SpeechChannel(int sampleRate, int outputRate,
                             std::shared_ptr<Doorbell> doorbell)
    : sampleRate_(sampleRate),
      doorbell_(std::move(doorbell)),
      fadeFrames_(fadeFrames(outputRate > 0 ? outputRate : 1)) {
  if (sampleRate <= 0 || outputRate <= 0) {
    throw Failure("speech stream: invalid sample rate " +
                  std::to_string(sampleRate));
  }
  for (auto& lane : lanes_) {
    lane = std::make_unique<ResampledFeed>(1, sampleRate, outputRate);
  }
  queue_.reserve(kCompactAfter);
  const double step = static_cast<double>(sampleRate) / outputRate;
  tail_.reserve(static_cast<std::size_t>(
                    std::ceil(static_cast<double>(fadeFrames_) * step)) +
                kLookAheadRoom);
}

SpeechChannel::QueueSource::QueueSource(const std::vector<std::int16_t>& queue)
    : queue_(queue), converted_(ResampledFeed::kChunkFrames) {}

const float* SpeechChannel::QueueSource::read(std::size_t from,
                                              std::size_t& count) {
  count = std::min({count, converted_.size(), queue_.size() - from});
  for (std::size_t i = 0; i < count; ++i) {
    converted_[i] = queue_[from + i] * kScale;
  }
  return converted_.data();
}

std::uint64_t SpeechChannel::append(const std::int16_t* samples,
                                    std::size_t count) {
  const std::uint64_t end = queueSamples(samples, count);
  if (count > 0 && doorbell_) doorbell_->ring();
  return end;
}

std::uint64_t SpeechChannel::queueSamples(const std::int16_t* samples,
                                          std::size_t count) {
  std::lock_guard lock(mutex_);
  // Compacting here keeps all allocation and copying out of the audio
  // thread.
  if (atRest_ && lane().cursor() == queue_.size()) {
    queueStart_ += queue_.size();
    queue_.clear();
    lane().seek(0);
  } else if (lane().position() >= static_cast<double>(kCompactAfter)) {
    const std::size_t drop =
        std::min(lane().cursor(), static_cast<std::size_t>(lane().position()));
    queue_.erase(queue_.begin(),
                 queue_.begin() + static_cast<std::ptrdiff_t>(drop));
    queueStart_ += drop;
    lane().dropFront(drop);
  }
  if (count > 0) queue_.insert(queue_.end(), samples, samples + count);
  appendedPosition_ += count;
  return appendedPosition_;
}

void SpeechChannel::clear() {
  {
    std::lock_guard lock(mutex_);
    if (!atRest_ && lane().fade.value > 0) {
      // The speech being heard fades out from where the filter stands,
      // with the filter's past and gain. A tail still fading from an
      // earlier clear is dropped: both would have to fall within the same
      // few ms.
      const std::size_t from = lane().cursor();
      const std::size_t count =
          std::min(queue_.size() - from, tail_.capacity());
      tail_.resize(count);
      for (std::size_t i = 0; i < count; ++i) {
        tail_[i] = queue_[from + i] * kScale;
      }
      tailSource_ = FloatSource(tail_.data(), count, 1);
      lane().dropFront(from);
      tailPending_ = true;
      current_ = 1 - current_;
    }
    queueStart_ = appendedPosition_;
    queue_.clear();
    lane().seek(0);
    atRest_ = true;
    playedPosition_ = appendedPosition_;
  }
  played_.notify_all();
}

std::uint64_t SpeechChannel::playedPosition() const {
  std::lock_guard lock(mutex_);
  return playedPosition_;
}

void SpeechChannel::waitPlayed(std::uint64_t position) {
  while (!waitPlayedFor(position, std::chrono::hours(1))) {
  }
}

bool SpeechChannel::waitPlayedFor(std::uint64_t position,
                                  std::chrono::milliseconds atMost) {
  std::unique_lock lock(mutex_);
  // Waiting for samples nobody has appended would block for ever.
  if (position > appendedPosition_) {
    throw Failure("speech stream: waiting for position " +
                  std::to_string(position) + " but only " +
                  std::to_string(appendedPosition_) + " samples were appended");
  }
  return played_.wait_for(lock, atMost,
                          [&] { return playedPosition_ >= position; });
}

std::size_t SpeechChannel::framesUntilDry() {
  // Only what the filter can let out without guessing at the future: were
  // it fed silence here, speech appended in time would follow a gap.
  const std::size_t lookAhead = lane().lookAhead();
  if (queue_.size() <= lookAhead) return 0;
  return lane().framesUntil(static_cast<double>(queue_.size() - lookAhead));
}

bool SpeechChannel::mixInto(float* out, std::size_t frames) {
  bool advanced = false;
  bool sounded = false;
  {
    std::lock_guard lock(mutex_);
    if (tailPending_) {
      tailPending_ =
          !lanes_[1 - current_]->mixFadeOut(tailSource_, false, out, frames);
      sounded = true;
    }
    if (atRest_) {
      if (lane().cursor() >= queue_.size()) return sounded;
      lane().seek(lane().position());
      lane().fade.value = 0.0f;
      atRest_ = false;
    }
    const std::size_t untilDry = framesUntilDry();
    // The last few frames before running dry are faded out, so whatever is
    // left past them is dropped as heard.
    const std::size_t count = std::min(frames, untilDry);
    FadeGain& gain = lane().fade;
    for (std::size_t done = 0; done < count;) {
      const std::size_t chunk =
          std::min(count - done, ResampledFeed::kChunkFrames);
      const float* samples = lane().pull(queueSource_, chunk, false);
      for (std::size_t i = 0; i < chunk; ++i) {
        // Ramps down to silence at the last queued sample, in case nothing
        // follows it in time.
        const auto left = static_cast<float>(untilDry - (done + i) - 1);
        const float value = samples[i] * gain.next(1.0f, left * gain.step);
        out[2 * (done + i)] += value;
        out[2 * (done + i) + 1] += value;
      }
      done += chunk;
    }
    if (count == untilDry) {
      atRest_ = true;
      lane().seek(static_cast<double>(queue_.size()));
    }
    const std::uint64_t played =
        queueStart_ +
        std::min<std::uint64_t>(queue_.size(),
                                static_cast<std::uint64_t>(lane().position()));
    advanced = played != playedPosition_;
    playedPosition_ = played;
    sounded = true;
  }
  if (advanced) played_.notify_all();
  return sounded;
}

}  // namespace pelliwick
