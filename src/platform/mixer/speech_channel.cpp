#include "mixer/speech_channel.h"

#include <algorithm>
#include <string>

#include "failure.h"

namespace pelliwick {

namespace {
// Played samples are cut off the front of the queue once this many have
// piled up, so a long session does not keep everything ever spoken.
constexpr std::size_t kCompactAfter = 1 << 16;
}  // namespace

SpeechChannel::SpeechChannel(int sampleRate, int outputRate)
    : sampleRate_(sampleRate),
      step_(static_cast<double>(sampleRate) / outputRate) {
  if (sampleRate <= 0 || outputRate <= 0) {
    throw Failure("speech stream: invalid sample rate " +
                  std::to_string(sampleRate));
  }
  queue_.reserve(kCompactAfter);
}

std::uint64_t SpeechChannel::append(const std::int16_t* samples,
                                    std::size_t count) {
  std::lock_guard lock(mutex_);
  // Compacting here keeps all allocation and copying out of the audio
  // thread.
  if (readIndex_ == queue_.size()) {
    queue_.clear();
    readIndex_ = 0;
  } else if (readIndex_ >= kCompactAfter) {
    queue_.erase(queue_.begin(),
                 queue_.begin() + static_cast<std::ptrdiff_t>(readIndex_));
    readIndex_ = 0;
  }
  if (count > 0) queue_.insert(queue_.end(), samples, samples + count);
  appendedPosition_ += count;
  return appendedPosition_;
}

void SpeechChannel::clear() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    readIndex_ = 0;
    fraction_ = 0;
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

void SpeechChannel::mixInto(float* out, std::size_t frames) {
  bool advanced = false;
  {
    std::lock_guard lock(mutex_);
    const std::size_t size = queue_.size();
    if (readIndex_ >= size) return;
    constexpr float scale = 1.0f / 32768.0f;
    for (std::size_t i = 0; i < frames; ++i) {
      const float a = queue_[readIndex_] * scale;
      // The last queued sample glides towards silence; speech ends quietly
      // anyway, and a later append resumes from the next sample.
      const float b =
          readIndex_ + 1 < size ? queue_[readIndex_ + 1] * scale : 0.0f;
      const float value = a + (b - a) * static_cast<float>(fraction_);
      out[2 * i] += value;
      out[2 * i + 1] += value;
      fraction_ += step_;
      if (fraction_ >= 1.0) {
        const auto whole = static_cast<std::size_t>(fraction_);
        fraction_ -= static_cast<double>(whole);
        const std::size_t consumed = std::min(whole, size - readIndex_);
        readIndex_ += consumed;
        playedPosition_ += consumed;
        advanced = true;
        if (readIndex_ >= size) {
          fraction_ = 0;
          break;
        }
      }
    }
  }
  if (advanced) played_.notify_all();
}

}  // namespace pelliwick
