#include "fake_speech_stream.h"

#include <algorithm>
#include <thread>

namespace pelliwick::espeak::test {

namespace {
constexpr double kRate = 22050;
}

void FakeSpeechStream::advanceLocked() const {
  const auto now = std::chrono::steady_clock::now();
  if (playback_ == Playback::Instant) {
    played_ = samples_.size();
  } else if (played_ < samples_.size()) {
    const std::chrono::duration<double> elapsed = now - playingSince_;
    const auto reached =
        playedFrom_ +
        static_cast<std::uint64_t>(elapsed.count() * kRate * speed.load());
    played_ = std::min<std::uint64_t>(reached, samples_.size());
  }
  if (played_ == samples_.size()) {
    // Idle: the next sample appended starts playing when it arrives.
    playedFrom_ = played_;
    playingSince_ = now;
  }
}

std::uint64_t FakeSpeechStream::append(const std::int16_t* samples,
                                       std::size_t count) {
  std::this_thread::sleep_for(appendDelay.load());
  std::lock_guard lock(mutex_);
  advanceLocked();
  samples_.insert(samples_.end(), samples, samples + count);
  sinceClear_ += count;
  maxBacklog_ = std::max<std::uint64_t>(maxBacklog_, samples_.size() - played_);
  advanceLocked();
  changed_.notify_all();
  return samples_.size();
}

void FakeSpeechStream::clear() {
  std::lock_guard lock(mutex_);
  played_ = samples_.size();
  advanceLocked();
  sinceClear_ = 0;
  ++clears_;
  changed_.notify_all();
}

std::uint64_t FakeSpeechStream::playedPosition() const {
  std::lock_guard lock(mutex_);
  advanceLocked();
  return played_;
}

void FakeSpeechStream::waitPlayed(std::uint64_t position) {
  while (!waitPlayedFor(position, std::chrono::hours(1))) {
  }
}

bool FakeSpeechStream::waitPlayedFor(std::uint64_t position,
                                     std::chrono::milliseconds atMost) {
  const auto deadline = std::chrono::steady_clock::now() + atMost;
  std::unique_lock lock(mutex_);
  for (;;) {
    advanceLocked();
    if (played_ >= position) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    changed_.wait_for(lock, std::chrono::milliseconds(2));
  }
}

std::vector<std::int16_t> FakeSpeechStream::samples() const {
  std::lock_guard lock(mutex_);
  return samples_;
}

std::uint64_t FakeSpeechStream::appended() const {
  std::lock_guard lock(mutex_);
  return samples_.size();
}

int FakeSpeechStream::clears() const {
  std::lock_guard lock(mutex_);
  return clears_;
}

std::uint64_t FakeSpeechStream::maxBacklog() const {
  std::lock_guard lock(mutex_);
  return maxBacklog_;
}

std::uint64_t FakeSpeechStream::appendedSinceClear() const {
  std::lock_guard lock(mutex_);
  return sinceClear_;
}

}  // namespace pelliwick::espeak::test
