// Implements a DirectSound 8 secondary buffer made from a WAV file, as the
// game plays its cues: current position, volume, pan and frequency (each
// control only when the buffer's flags asked for it: DirectSound itself
// refuses the others), play once or looping, status and stop; the end of
// play wakes the game's wait, and every cut is faded. What it ignores:
// 3D, effects, hardware locations and lost buffers (a software buffer is
// never lost).
#include "platform/win32/dsound_buffer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/failure.h"
#include "platform/win32/win32_failure.h"

namespace pelliwick::win32 {

namespace {

// The same ramp as the Linux mixer's: short enough to pass unnoticed,
// long enough that no cut clicks.
constexpr double kFadeSeconds = 0.003;
// DirectSound reads ahead of its play cursor by a period of 10 ms; the
// stop comes well after the fade has been read.
constexpr auto kStopMargin = std::chrono::milliseconds(30);
// DirectSound's smallest buffer (DSBSIZE_MIN).
constexpr DWORD kSmallestBuffer = 4;

constexpr DWORD kBytesPerSample = sizeof(std::int16_t);

// Writes `length` bytes of the buffer from byte `from` on, wrapping at its
// end; `frame(k, channel)` gives the sample of the k-th frame written.
template <class Frame>
void writeFrames(IDirectSoundBuffer8& buffer, DWORD from, DWORD length,
                 int channels, Frame frame) {
  if (length == 0) return;
  void* parts[2] = {};
  DWORD sizes[2] = {};
  check(
      buffer.Lock(from, length, &parts[0], &sizes[0], &parts[1], &sizes[1], 0),
      "sound buffer: Lock");
  std::size_t k = 0;
  const auto perFrame = static_cast<std::size_t>(channels);
  for (int part = 0; part < 2; ++part) {
    auto* out = static_cast<std::int16_t*>(parts[part]);
    const std::size_t samples = sizes[part] / kBytesPerSample;
    for (std::size_t i = 0; i < samples; ++i) {
      out[i] = frame(k + i / perFrame, static_cast<int>(i % perFrame));
    }
    k += samples / perFrame;
  }
  check(buffer.Unlock(parts[0], sizes[0], parts[1], sizes[1]),
        "sound buffer: Unlock");
}

}  // namespace

DirectSoundBuffer::DirectSoundBuffer(std::shared_ptr<DirectSoundCore> core,
                                     WaveData wave, std::uint32_t flags)
    : core_(std::move(core)),
      wave_(std::move(wave)),
      frequency_(wave_.sampleRate) {
  const auto block = static_cast<WORD>(wave_.channels * kBytesPerSample);
  bytes_ = std::max(static_cast<DWORD>(wave_.samples.size() * kBytesPerSample),
                    kSmallestBuffer);
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(wave_.channels);
  format.nSamplesPerSec = static_cast<DWORD>(wave_.sampleRate);
  format.nAvgBytesPerSec = format.nSamplesPerSec * block;
  format.nBlockAlign = block;
  format.wBitsPerSample = 16;
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  // The end is announced through a notification; exact cursors for fades.
  desc.dwFlags =
      flags | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2;
  desc.dwBufferBytes = bytes_;
  desc.lpwfxFormat = &format;

  // Counted from here: the device stays open while this buffer lives.
  struct Use {
    DirectSoundCore& core;
    ComRef<IDirectSound8> device = core.acquire();
    bool kept = false;
    ~Use() {
      if (!kept) core.release();
    }
  } use{*core_};
  ComRef<IDirectSoundBuffer> plain;
  check(use.device->CreateSoundBuffer(&desc, plain.put(), nullptr),
        "sound device: CreateSoundBuffer");
  check(plain->QueryInterface(IID_IDirectSoundBuffer8,
                              reinterpret_cast<void**>(buffer_.put())),
        "sound buffer: no IDirectSoundBuffer8");
  fillFromSound();

  ComRef<IDirectSoundNotify> notify;
  check(buffer_->QueryInterface(IID_IDirectSoundNotify,
                                reinterpret_cast<void**>(notify.put())),
        "sound buffer: no IDirectSoundNotify");
  DSBPOSITIONNOTIFY atStop{static_cast<DWORD>(DSBPN_OFFSETSTOP), end_->stopped};
  check(notify->SetNotificationPositions(1, &atStop),
        "sound buffer: SetNotificationPositions");
  core_->watcher().watch(end_);
  use.kept = true;
}

DirectSoundBuffer::~DirectSoundBuffer() {
  core_->watcher().forget(end_);
  DWORD status = 0;
  // A fading buffer is stopped, and then let go of, by the watcher.
  if (!fading_ && SUCCEEDED(buffer_->GetStatus(&status)) &&
      (status & DSBSTATUS_PLAYING) != 0) {
    try {
      fadeOut(status);
    } catch (const Failure&) {
      // Nothing can be raised here: the cut is made without a fade instead.
      buffer_->Stop();
    }
  }
  core_->release();
}

void DirectSoundBuffer::fillFromSound() {
  const auto channels = static_cast<std::size_t>(wave_.channels);
  writeFrames(
      *buffer_.get(), 0, bytes_, wave_.channels, [&](std::size_t k, int c) {
        const std::size_t i = k * channels + static_cast<std::size_t>(c);
        return i < wave_.samples.size() ? wave_.samples[i] : std::int16_t{0};
      });
}

void DirectSoundBuffer::fadeOut(DWORD status) {
  DWORD play = 0, write = 0;
  check(buffer_->GetCurrentPosition(&play, &write),
        "sound buffer: GetCurrentPosition");
  const DWORD block = static_cast<DWORD>(wave_.channels) * kBytesPerSample;
  // What lies between the play and write cursors is DirectSound's already.
  const DWORD committed = (write + bytes_ - play) % bytes_;
  DWORD length = bytes_ - committed;
  if ((status & DSBSTATUS_LOOPING) == 0) {
    // Played once: nothing after the end; a write cursor that has wrapped
    // means the sound ends before any fade could begin.
    length = write >= play ? std::min(length, bytes_ - write) : 0;
  }
  length -= length % block;
  const double rampFrames =
      std::max(1.0, std::round(kFadeSeconds * frequency_));
  const auto channels = static_cast<std::size_t>(wave_.channels);
  const std::size_t firstFrame = write / block;
  const std::size_t frames = bytes_ / block;
  writeFrames(*buffer_.get(), write, length, wave_.channels,
              [&](std::size_t k, int c) {
                if (k >= rampFrames) return std::int16_t{0};
                const std::size_t i = ((firstFrame + k) % frames) * channels +
                                      static_cast<std::size_t>(c);
                const double gain =
                    1.0 - (static_cast<double>(k) + 1) / (rampFrames + 1);
                const std::int16_t sample =
                    i < wave_.samples.size() ? wave_.samples[i] : 0;
                return static_cast<std::int16_t>(std::lround(sample * gain));
              });
  fading_ = true;
  fadeFrom_ = write;
  fadeLength_ = length;
  end_->cut = true;
  ResetEvent(end_->faded);
  const double seconds =
      (committed / static_cast<double>(block) + rampFrames) / frequency_;
  const auto when = CueWatcher::Clock::now() +
                    std::chrono::duration_cast<CueWatcher::Clock::duration>(
                        std::chrono::duration<double>(seconds)) +
                    kStopMargin;
  core_->watcher().stopAt(buffer_, when, end_);
}

void DirectSoundBuffer::settle() {
  if (!fading_) return;
  // The stop is due within tens of milliseconds.
  if (WaitForSingleObject(end_->faded, 5000) != WAIT_OBJECT_0) {
    throw Failure("sound buffer: a faded cue did not stop");
  }
  fading_ = false;
  check(end_->stopResult.load(), "sound buffer: Stop");
  const auto channels = static_cast<std::size_t>(wave_.channels);
  const std::size_t firstFrame =
      fadeFrom_ / (static_cast<DWORD>(wave_.channels) * kBytesPerSample);
  const std::size_t frames = bytes_ / (channels * kBytesPerSample);
  writeFrames(*buffer_.get(), fadeFrom_, fadeLength_, wave_.channels,
              [&](std::size_t k, int c) {
                const std::size_t i = ((firstFrame + k) % frames) * channels +
                                      static_cast<std::size_t>(c);
                return i < wave_.samples.size() ? wave_.samples[i]
                                                : std::int16_t{0};
              });
  // A stopped buffer goes on from where it was stopped.
  check(buffer_->SetCurrentPosition(fadeFrom_),
        "sound buffer: SetCurrentPosition");
  end_->cut = false;
}

void DirectSoundBuffer::setCurrentPosition(std::uint32_t byteOffset) {
  settle();
  if (byteOffset >= bytes_) {
    throw Failure("sound buffer: position " + std::to_string(byteOffset) +
                  " is past the end (" + std::to_string(bytes_) + " bytes)");
  }
  check(buffer_->SetCurrentPosition(byteOffset),
        "sound buffer: SetCurrentPosition");
}

void DirectSoundBuffer::setVolume(int hundredthsOfDb) {
  settle();
  check(buffer_->SetVolume(hundredthsOfDb),
        "sound buffer: SetVolume " + std::to_string(hundredthsOfDb));
}

void DirectSoundBuffer::setPan(int hundredthsOfDb) {
  settle();
  check(buffer_->SetPan(hundredthsOfDb),
        "sound buffer: SetPan " + std::to_string(hundredthsOfDb));
}

void DirectSoundBuffer::setFrequency(int hz) {
  settle();
  // DirectSound reads 0 as "the file's own rate"; the game has no such
  // value, and a 0 is a mistake as on Linux.
  if (hz == DSBFREQUENCY_ORIGINAL) {
    throw Failure("sound buffer: frequency 0 is outside 100..200000");
  }
  check(buffer_->SetFrequency(static_cast<DWORD>(hz)),
        "sound buffer: SetFrequency " + std::to_string(hz));
  frequency_ = hz;
}

void DirectSoundBuffer::play(std::uint32_t flags) {
  if ((flags & ~static_cast<std::uint32_t>(DSBPLAY_LOOPING)) != 0) {
    throw Failure("sound buffer: unknown play flags " + std::to_string(flags));
  }
  settle();
  check(buffer_->Play(0, 0, flags), "sound buffer: Play");
}

int DirectSoundBuffer::getStatus() {
  if (fading_) return 0;
  DWORD status = 0;
  check(buffer_->GetStatus(&status), "sound buffer: GetStatus");
  return static_cast<int>(status & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
}

void DirectSoundBuffer::stop() {
  if (fading_) return;
  DWORD status = 0;
  check(buffer_->GetStatus(&status), "sound buffer: GetStatus");
  if (status & DSBSTATUS_PLAYING) {
    fadeOut(status);
  } else {
    check(buffer_->Stop(), "sound buffer: Stop");
  }
}

}  // namespace pelliwick::win32
