// What this implements of a DirectSound secondary buffer: volume, pan and
// frequency (each only when its flag was asked for), the current position
// as a byte offset, play once or looping, status and stop. What it ignores:
// hardware mixing and locations, 3D, effects, notifications, writing into
// the buffer, and lost buffers (nothing takes the device away).
#include "platform/mixer/cue_buffer.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/failure.h"

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

// Far more voices than the game ever overlaps, so that the audio thread
// never grows these lists.
constexpr std::size_t kVoiceRoom = 32;

}  // namespace

CueBoard::CueBoard(int outputRate, std::shared_ptr<Doorbell> doorbell)
    : outputRate_(outputRate), doorbell_(std::move(doorbell)) {
  sounding_.reserve(kVoiceRoom);
  retired_.reserve(kVoiceRoom);
}

int CueBoard::mixInto(float* interleavedStereo, std::size_t frames) {
  std::lock_guard lock(mutex_);
  if (sounding_.empty()) return -1;
  int ended = 0;
  for (std::size_t i = 0; i < sounding_.size();) {
    const auto rendered = sounding_[i]->mixInto(interleavedStereo, frames);
    if (rendered == CueVoice::Rendered::Sounding) {
      ++i;
      continue;
    }
    if (rendered == CueVoice::Rendered::Ended) ++ended;
    // The last owner of a faded voice may be this list: hand it to the
    // other threads to free.
    retired_.push_back(std::move(sounding_[i]));
    sounding_[i] = std::move(sounding_.back());
    sounding_.pop_back();
  }
  return ended;
}

std::size_t CueBoard::playingCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(sounding_.begin(), sounding_.end(),
                    [](const auto& voice) { return voice->playing(); }));
}

std::vector<std::shared_ptr<CueVoice>> CueBoard::takeRetiredLocked() {
  std::vector<std::shared_ptr<CueVoice>> fresh;
  if (retired_.empty()) return fresh;
  fresh.reserve(kVoiceRoom);
  fresh.swap(retired_);
  return fresh;
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
  frequency_ = sound_->sampleRate;
  voice_ = makeVoice();
}

CueBuffer::~CueBuffer() {
  std::vector<std::shared_ptr<CueVoice>> retired;
  std::lock_guard lock(board_->mutex_);
  // A buffer dropped while it plays is cut off like a stop: the board
  // keeps the voice, and its samples, until it has faded out.
  voice_->cutOff();
  retired = board_->takeRetiredLocked();
}

std::shared_ptr<CueVoice> CueBuffer::makeVoice() const {
  auto voice = std::make_shared<CueVoice>(sound_, board_->outputRate());
  voice->setFrequency(frequency_);
  return voice;
}

void CueBuffer::requireControl(std::uint32_t flag, const char* what) const {
  if ((flags_ & flag) == 0) {
    throw Failure(std::string("sound buffer: ") + what +
                  " control was not asked for when the buffer was made");
  }
}

void CueBuffer::updateGainsLocked() {
  const float volume = decibelsToGain(volume_);
  // Pan turns down only the far side, so a centred cue plays at full level
  // on both.
  voice_->setGains(volume * (pan_ > 0 ? decibelsToGain(-pan_) : 1.0f),
                   volume * (pan_ < 0 ? decibelsToGain(pan_) : 1.0f));
}

void CueBuffer::setCurrentPosition(std::uint32_t byteOffset) {
  const std::uint64_t size =
      static_cast<std::uint64_t>(sound_->frames()) * sound_->bytesPerFrame;
  if (byteOffset >= size) {
    throw Failure("sound buffer: position " + std::to_string(byteOffset) +
                  " is past the end (" + std::to_string(size) + " bytes)");
  }
  std::lock_guard lock(board_->mutex_);
  voice_->setPosition(byteOffset / sound_->bytesPerFrame);
}

void CueBuffer::setVolume(int hundredthsOfDb) {
  requireControl(DSBCAPS_CTRLVOLUME, "volume");
  requireRange(hundredthsOfDb, DSBVOLUME_MIN, DSBVOLUME_MAX, "volume");
  std::lock_guard lock(board_->mutex_);
  volume_ = hundredthsOfDb;
  updateGainsLocked();
}

void CueBuffer::setPan(int hundredthsOfDb) {
  requireControl(DSBCAPS_CTRLPAN, "pan");
  requireRange(hundredthsOfDb, DSBPAN_LEFT, DSBPAN_RIGHT, "pan");
  std::lock_guard lock(board_->mutex_);
  pan_ = hundredthsOfDb;
  updateGainsLocked();
}

void CueBuffer::setFrequency(int hz) {
  requireControl(DSBCAPS_CTRLFREQUENCY, "frequency");
  requireRange(hz, DSBFREQUENCY_MIN, DSBFREQUENCY_MAX, "frequency");
  // The filter is rebuilt here, under the lock, rather than in the audio
  // thread; the change is heard from the next period on.
  std::lock_guard lock(board_->mutex_);
  voice_->setFrequency(hz);
  frequency_ = hz;
}

void CueBuffer::play(std::uint32_t flags) {
  if ((flags & ~DSBPLAY_LOOPING) != 0) {
    throw Failure("sound buffer: unknown play flags " + std::to_string(flags));
  }
  const bool looping = (flags & DSBPLAY_LOOPING) != 0;
  std::vector<std::shared_ptr<CueVoice>> retired;
  {
    std::lock_guard lock(board_->mutex_);
    retired = board_->takeRetiredLocked();
    if (voice_->playing()) {
      voice_->setLooping(looping);
      return;
    }
    voice_->start(looping);
    board_->sounding_.push_back(voice_);
  }
  if (board_->doorbell_) board_->doorbell_->ring();
}

int CueBuffer::getStatus() {
  std::lock_guard lock(board_->mutex_);
  if (!voice_->playing()) return 0;
  return DSBSTATUS_PLAYING | (voice_->looping() ? DSBSTATUS_LOOPING : 0);
}

void CueBuffer::stop() {
  auto next = makeVoice();
  std::vector<std::shared_ptr<CueVoice>> retired;
  std::lock_guard lock(board_->mutex_);
  retired = board_->takeRetiredLocked();
  if (!voice_->playing()) return;
  // The stopped voice fades out on the board; the buffer goes on from
  // where it stopped with a voice of its own.
  voice_->cutOff();
  next->continueFrom(*voice_);
  voice_ = std::move(next);
  updateGainsLocked();
}

}  // namespace pelliwick
