// What this implements of the speech engine's audio output (the SAPI voice
// playing to the default device): one queue of synthesised samples heard in
// order, a purge that silences it within one device period, and positions
// to wait on. What it ignores: audio formats other than mono 16-bit, output
// devices other than the mixer, bookmarks and audio events.
#include "mixer/speech_channel.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "failure.h"

namespace pelliwick {

namespace {
// Played samples are cut off the front of the queue once this many have
// piled up, so a long session does not keep everything ever spoken.
constexpr std::size_t kCompactAfter = 1 << 16;
constexpr std::size_t kChunkFrames = 256;
// Past the last queued sample the filter is fed silence, so that its
// look-ahead lets the last samples out.
constexpr std::size_t kSilenceFrames = 1 << 20;
// More than any filter here reads ahead.
constexpr std::size_t kLookAheadRoom = 512;
constexpr float kScale = 1.0f / 32768.0f;
}  // namespace

SpeechChannel::SpeechChannel(int sampleRate, int outputRate,
                             std::shared_ptr<Doorbell> doorbell)
    : sampleRate_(sampleRate),
      doorbell_(std::move(doorbell)),
      step_(static_cast<double>(sampleRate) / outputRate),
      fadeFrames_(fadeFrames(outputRate > 0 ? outputRate : 1)) {
  if (sampleRate <= 0 || outputRate <= 0) {
    throw Failure("speech stream: invalid sample rate " +
                  std::to_string(sampleRate));
  }
  for (auto& lane : lanes_) {
    lane = std::make_unique<Resampler>(1, sampleRate, outputRate);
  }
  gain_.step = tailGain_.step = 1.0f / static_cast<float>(fadeFrames_);
  queue_.reserve(kCompactAfter);
  tail_.reserve(static_cast<std::size_t>(
                    std::ceil(static_cast<double>(fadeFrames_) * step_)) +
                kLookAheadRoom);
  input_.resize(kChunkFrames);
  output_.resize(kChunkFrames);
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
  if (atRest_ && feed_ == queue_.size()) {
    queueStart_ += queue_.size();
    queue_.clear();
    feed_ = 0;
    heard_ = 0;
  } else if (heard_ >= static_cast<double>(kCompactAfter)) {
    const std::size_t drop = std::min(feed_, static_cast<std::size_t>(heard_));
    queue_.erase(queue_.begin(),
                 queue_.begin() + static_cast<std::ptrdiff_t>(drop));
    queueStart_ += drop;
    feed_ -= drop;
    heard_ -= static_cast<double>(drop);
  }
  if (count > 0) queue_.insert(queue_.end(), samples, samples + count);
  appendedPosition_ += count;
  return appendedPosition_;
}

void SpeechChannel::clear() {
  {
    std::lock_guard lock(mutex_);
    if (!atRest_ && gain_.value > 0) {
      // The speech being heard fades out from where the filter stands. A
      // tail still fading from an earlier clear is dropped: both would
      // have to fall within the same few ms.
      const std::size_t count =
          std::min(queue_.size() - feed_, tail_.capacity());
      tail_.resize(count);
      for (std::size_t i = 0; i < count; ++i) {
        tail_[i] = queue_[feed_ + i] * kScale;
      }
      tailFed_ = 0;
      tailGain_.value = gain_.value;
      tailPending_ = true;
      current_ = 1 - current_;
    }
    queueStart_ = appendedPosition_;
    queue_.clear();
    feed_ = 0;
    heard_ = 0;
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
  const auto end = static_cast<double>(queue_.size() - lookAhead);
  if (heard_ >= end) return 0;
  auto frames = static_cast<std::size_t>(
      std::max(1.0, std::ceil((end - heard_) / step_)));
  while (frames > 1 &&
         heard_ + static_cast<double>(frames - 1) * step_ >= end) {
    --frames;
  }
  while (heard_ + static_cast<double>(frames) * step_ < end) ++frames;
  return frames;
}

void SpeechChannel::resampleQueue(float* out, std::size_t frames) {
  std::size_t produced = 0;
  while (produced < frames) {
    const float* in = nullptr;
    std::size_t inFrames = kSilenceFrames;
    if (feed_ < queue_.size()) {
      inFrames = std::min(kChunkFrames, queue_.size() - feed_);
      for (std::size_t i = 0; i < inFrames; ++i) {
        input_[i] = queue_[feed_ + i] * kScale;
      }
      in = input_.data();
    }
    std::size_t outFrames = frames - produced;
    lane().process(in, inFrames, out + produced, outFrames);
    if (in != nullptr) feed_ += inFrames;
    produced += outFrames;
    if (inFrames == 0 && outFrames == 0) {  // cannot happen; never hang
      std::fill(out + produced, out + frames, 0.0f);
      return;
    }
  }
}

void SpeechChannel::mixTail(float* out, std::size_t frames) {
  Resampler& filter = *lanes_[1 - current_];
  std::size_t done = 0;
  while (done < frames && tailPending_) {
    const std::size_t chunk = std::min(frames - done, kChunkFrames);
    std::size_t produced = 0;
    while (produced < chunk) {
      const bool hasTail = tailFed_ < tail_.size();
      std::size_t inFrames = hasTail ? tail_.size() - tailFed_ : kSilenceFrames;
      std::size_t outFrames = chunk - produced;
      filter.process(hasTail ? tail_.data() + tailFed_ : nullptr, inFrames,
                     output_.data() + produced, outFrames);
      if (hasTail) tailFed_ += inFrames;
      produced += outFrames;
      if (inFrames == 0 && outFrames == 0) break;
    }
    for (std::size_t i = 0; i < produced; ++i) {
      const float value = output_[i] * tailGain_.next(0.0f);
      out[2 * (done + i)] += value;
      out[2 * (done + i) + 1] += value;
      if (tailGain_.value == 0.0f) {
        tailPending_ = false;
        break;
      }
    }
    done += chunk;
  }
  tailPending_ = false;
}

bool SpeechChannel::mixInto(float* out, std::size_t frames) {
  bool advanced = false;
  bool sounded = false;
  {
    std::lock_guard lock(mutex_);
    if (tailPending_) {
      mixTail(out, frames);
      sounded = true;
    }
    if (atRest_) {
      if (feed_ >= queue_.size()) return sounded;
      lane().restart();
      gain_.value = 0.0f;
      atRest_ = false;
    }
    const std::size_t untilDry = framesUntilDry();
    // The last few frames before running dry are faded out, so whatever is
    // left past them is dropped as heard.
    const std::size_t count = std::min(frames, untilDry);
    const float fadeStep = gain_.step;
    for (std::size_t done = 0; done < count;) {
      const std::size_t chunk = std::min(count - done, kChunkFrames);
      resampleQueue(output_.data(), chunk);
      for (std::size_t i = 0; i < chunk; ++i) {
        // Ramps down to silence at the last queued sample, in case nothing
        // follows it in time.
        const auto left = static_cast<float>(untilDry - (done + i) - 1);
        const float value = output_[i] * gain_.next(1.0f, left * fadeStep);
        out[2 * (done + i)] += value;
        out[2 * (done + i) + 1] += value;
      }
      done += chunk;
    }
    heard_ += static_cast<double>(count) * step_;
    if (count == untilDry) {
      atRest_ = true;
      heard_ = static_cast<double>(queue_.size());
      feed_ = queue_.size();
    }
    const std::uint64_t played =
        queueStart_ + std::min<std::uint64_t>(
                          queue_.size(), static_cast<std::uint64_t>(heard_));
    advanced = played != playedPosition_;
    playedPosition_ = played;
    sounded = true;
  }
  if (advanced) played_.notify_all();
  return sounded;
}

}  // namespace pelliwick
