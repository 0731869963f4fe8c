// What this implements of DirectSound's software mixer: every playing
// secondary buffer and the speech are summed into one stereo stream at the
// device's rate, each at its own frequency, volume and pan, with a soft
// limiter where the sum would clip. What it ignores: the primary buffer and
// its format (the device's own is used), hardware mixing and acceleration
// levels, 3D sound, effects and speaker configuration.
#include "platform/mixer/mixer.h"

#include <algorithm>
#include <string>

#include "platform/failure.h"
#include "platform/mixer/cue_buffer.h"
#include "platform/mixer/limiter.h"
#include "platform/mixer/speech_channel.h"

namespace pelliwick {

Mixer::Mixer(int outputRate, std::function<void()> onCueEnded)
    : outputRate_(outputRate),
      onCueEnded_(std::move(onCueEnded)),
      doorbell_(std::make_shared<Doorbell>()),
      cues_(std::make_shared<CueBoard>(outputRate, doorbell_)) {
  if (outputRate <= 0) {
    throw Failure("mixer: invalid output rate " + std::to_string(outputRate));
  }
}

Mixer::~Mixer() {
  // Anyone still waiting for speech would otherwise wait for ever.
  clearSpeech();
}

void Mixer::clearSpeech() {
  std::lock_guard lock(speechMutex_);
  if (speech_) speech_->clear();
}

std::shared_ptr<SoundBuffer> Mixer::createBuffer(
    std::shared_ptr<const PcmSound> sound, const BufferDesc& desc) {
  return std::make_shared<CueBuffer>(cues_, std::move(sound), desc.flags);
}

SpeechStream& Mixer::speechStream(int sampleRate) {
  std::lock_guard lock(speechMutex_);
  if (!speech_) {
    speech_ =
        std::make_unique<SpeechChannel>(sampleRate, outputRate_, doorbell_);
    speechForRender_.store(speech_.get(), std::memory_order_release);
  } else if (speech_->sampleRate() != sampleRate) {
    throw Failure("mixer: the speech stream runs at " +
                  std::to_string(speech_->sampleRate()) + " Hz, not " +
                  std::to_string(sampleRate) + " Hz");
  }
  return *speech_;
}

bool Mixer::render(float* out, std::size_t frames) {
  std::fill(out, out + 2 * frames, 0.0f);
  const int ended = cues_->mixInto(out, frames);
  bool sounded = ended >= 0;
  if (SpeechChannel* speech =
          speechForRender_.load(std::memory_order_acquire)) {
    sounded = speech->mixInto(out, frames) || sounded;
  }
  // A silent period costs the fill above and two uncontended locks.
  if (!sounded) return false;
  for (std::size_t i = 0; i < 2 * frames; ++i) out[i] = softLimit(out[i]);
  if (ended > 0 && onCueEnded_) onCueEnded_();
  return true;
}

}  // namespace pelliwick
