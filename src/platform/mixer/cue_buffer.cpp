#include "mixer/cue_buffer.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "failure.h"

namespace pelliwick {

namespace {

float decibelsToGain(int hundredthsOfDb) {
  return static_cast<float>(std::pow(10.0, hundredthsOfDb / 2000.0));
}

void requireRange(int value, int low, int high, const char* what) {
  if (value < low || value > high) {
    throw Failure(std::string("sound buffer: ") + what + " " +
                  std::to_string(value) + " is outside " + std::to_string(low) +
                  ".." + std::to_string(high));
  }
}

}  // namespace

CueBoard::CueBoard(int outputRate) : outputRate_(outputRate) {
  // Room for far more cues than the game ever overlaps, so that play()
  // hardly ever allocates while holding the lock.
  playing_.reserve(32);
}

int CueBoard::mixInto(float* interleavedStereo, std::size_t frames) {
  std::lock_guard lock(mutex_);
  int ended = 0;
  for (std::size_t i = 0; i < playing_.size();) {
    CueBuffer* cue = playing_[i];
    if (cue->mixInto(interleavedStereo, frames)) {
      ++i;
      continue;
    }
    cue->playing_ = false;
    playing_[i] = playing_.back();
    playing_.pop_back();
    ++ended;
  }
  return ended;
}

std::size_t CueBoard::playingCount() const {
  std::lock_guard lock(mutex_);
  return playing_.size();
}

CueBuffer::CueBuffer(std::shared_ptr<CueBoard> board,
                     std::shared_ptr<const PcmSound> sound, std::uint32_t flags)
    : board_(std::move(board)), sound_(std::move(sound)), flags_(flags) {
  if (!sound_ || sound_->frames() == 0) {
    throw Failure("sound buffer: the sound has no samples");
  }
  if (sound_->channels != 1 && sound_->channels != 2) {
    throw Failure("sound buffer: " + std::to_string(sound_->channels) +
                  " channels are not supported (only 1 or 2)");
  }
  if (sound_->sampleRate <= 0 || sound_->bytesPerFrame == 0) {
    throw Failure("sound buffer: the sound has no valid format");
  }
  step_ = static_cast<double>(sound_->sampleRate) / board_->outputRate();
}

CueBuffer::~CueBuffer() {
  // Dropping a playing buffer silences it; once the lock is released the
  // audio thread can no longer reach this object.
  std::lock_guard lock(board_->mutex_);
  removeFromBoard();
}

void CueBuffer::requireControl(std::uint32_t flag, const char* what) const {
  if ((flags_ & flag) == 0) {
    throw Failure(std::string("sound buffer: ") + what +
                  " control was not asked for when the buffer was made");
  }
}

void CueBuffer::updateGains() {
  const float volume = decibelsToGain(volume_);
  // Pan turns down only the far side, so a centred cue plays at full level
  // on both.
  gainLeft_ = volume * (pan_ > 0 ? decibelsToGain(-pan_) : 1.0f);
  gainRight_ = volume * (pan_ < 0 ? decibelsToGain(pan_) : 1.0f);
}

void CueBuffer::removeFromBoard() {
  auto& list = board_->playing_;
  auto found = std::find(list.begin(), list.end(), this);
  if (found != list.end()) {
    *found = list.back();
    list.pop_back();
  }
}

void CueBuffer::setCurrentPosition(std::uint32_t byteOffset) {
  const std::uint64_t size =
      static_cast<std::uint64_t>(sound_->frames()) * sound_->bytesPerFrame;
  if (byteOffset >= size) {
    throw Failure("sound buffer: position " + std::to_string(byteOffset) +
                  " is past the end (" + std::to_string(size) + " bytes)");
  }
  std::lock_guard lock(board_->mutex_);
  position_ = byteOffset / sound_->bytesPerFrame;
}

void CueBuffer::setVolume(int hundredthsOfDb) {
  requireControl(DSBCAPS_CTRLVOLUME, "volume");
  requireRange(hundredthsOfDb, DSBVOLUME_MIN, DSBVOLUME_MAX, "volume");
  std::lock_guard lock(board_->mutex_);
  volume_ = hundredthsOfDb;
  updateGains();
}

void CueBuffer::setPan(int hundredthsOfDb) {
  requireControl(DSBCAPS_CTRLPAN, "pan");
  requireRange(hundredthsOfDb, DSBPAN_LEFT, DSBPAN_RIGHT, "pan");
  std::lock_guard lock(board_->mutex_);
  pan_ = hundredthsOfDb;
  updateGains();
}

void CueBuffer::setFrequency(int hz) {
  requireControl(DSBCAPS_CTRLFREQUENCY, "frequency");
  requireRange(hz, DSBFREQUENCY_MIN, DSBFREQUENCY_MAX, "frequency");
  std::lock_guard lock(board_->mutex_);
  step_ = static_cast<double>(hz) / board_->outputRate();
}

void CueBuffer::play(std::uint32_t flags) {
  if ((flags & ~DSBPLAY_LOOPING) != 0) {
    throw Failure("sound buffer: unknown play flags " + std::to_string(flags));
  }
  std::lock_guard lock(board_->mutex_);
  looping_ = (flags & DSBPLAY_LOOPING) != 0;
  if (!playing_) {
    playing_ = true;
    board_->playing_.push_back(this);
  }
}

int CueBuffer::getStatus() {
  std::lock_guard lock(board_->mutex_);
  if (!playing_) return 0;
  return DSBSTATUS_PLAYING | (looping_ ? DSBSTATUS_LOOPING : 0);
}

void CueBuffer::stop() {
  std::lock_guard lock(board_->mutex_);
  if (playing_) {
    playing_ = false;
    removeFromBoard();
  }
}

bool CueBuffer::mixInto(float* out, std::size_t frames) {
  const std::size_t length = sound_->frames();
  const float* samples = sound_->samples.data();
  const bool stereo = sound_->channels == 2;
  const double end = static_cast<double>(length);
  for (std::size_t i = 0; i < frames; ++i) {
    const auto index = static_cast<std::size_t>(position_);
    const auto fraction = static_cast<float>(position_ - index);
    // Past the last sample a one-shot cue glides to silence, a loop to its
    // start.
    const bool hasNext = index + 1 < length || looping_;
    const std::size_t next = index + 1 < length ? index + 1 : 0;
    float left, right;
    if (stereo) {
      const float a0 = samples[2 * index], a1 = samples[2 * index + 1];
      const float b0 = hasNext ? samples[2 * next] : 0.0f;
      const float b1 = hasNext ? samples[2 * next + 1] : 0.0f;
      left = a0 + (b0 - a0) * fraction;
      right = a1 + (b1 - a1) * fraction;
    } else {
      const float a = samples[index];
      const float b = hasNext ? samples[next] : 0.0f;
      left = right = a + (b - a) * fraction;
    }
    out[2 * i] += left * gainLeft_;
    out[2 * i + 1] += right * gainRight_;
    position_ += step_;
    if (position_ >= end) {
      if (!looping_) {
        position_ = 0;
        return false;
      }
      position_ = std::fmod(position_, end);
    }
  }
  return true;
}

}  // namespace pelliwick
