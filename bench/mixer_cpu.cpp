// CPU of the mixer per second of audio, with speech and five overlapping
// cues playing: what the audio callback costs while the game sounds.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench_support.h"
#include "figures.h"
#include "platform/espeak/espeak_engine.h"
#include "platform/espeak/espeak_library.h"
#include "platform/mixer/cue_buffer.h"
#include "platform/sdl_audio/sdl_sound_system.h"

namespace pelliwick::bench {
namespace {

// Keeps what the speech engine synthesises, and has heard it at once.
class KeptSpeech : public SpeechStream {
 public:
  std::uint64_t append(const std::int16_t* samples,
                       std::size_t count) override {
    std::lock_guard lock(mutex_);
    kept.insert(kept.end(), samples, samples + count);
    return kept.size();
  }
  void clear() override {}
  std::uint64_t playedPosition() const override {
    std::lock_guard lock(mutex_);
    return kept.size();
  }
  void waitPlayed(std::uint64_t) override {}
  bool waitPlayedFor(std::uint64_t, std::chrono::milliseconds) override {
    return true;
  }

  std::vector<std::int16_t> kept;

 private:
  mutable std::mutex mutex_;
};

std::vector<std::int16_t> someSpeech() {
  KeptSpeech stream;
  {
    espeak::EspeakEngine engine([&]() -> SpeechStream& { return stream; });
    auto voice = engine.createVoice();
    voice->selectVoice(0);
    voice->speak(
        L" Enter your guess, a number between 0 and 100 . sorry your guess "
        L"was too low ",
        SVSFDefault);
  }
  return stream.kept;
}

// CPU per second of audio, rendered period by period.
double renderSecond(Mixer& mixer) {
  std::vector<float> period(2 * MixerDriver::kPeriodFrames);
  const double start = threadCpuSeconds();
  for (std::size_t done = 0; done < 44100; done += MixerDriver::kPeriodFrames) {
    mixer.render(period.data(), MixerDriver::kPeriodFrames);
  }
  return 1000 * (threadCpuSeconds() - start);
}

}  // namespace

void mixerCpu(int trials) {
  const std::vector<std::int16_t> speech = someSpeech();
  Mixer mixer(44100);
  std::vector<double> silent;
  for (int trial = 0; trial < trials; ++trial) {
    silent.push_back(renderSecond(mixer));
  }
  printFigure("mixer CPU per second of silence", silent, "ms",
              "(no target; the device renders it while the game waits)");
  SdlSoundDevice device(std::shared_ptr<Mixer>(&mixer, [](Mixer*) {}));
  BufferDesc desc;
  desc.flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
  std::vector<std::shared_ptr<SoundBuffer>> cues;
  const int frequencies[] = {11026, 8000, 15000, 11026, 22050};
  const char* names[] = {"wild", "dong", "ding", "ding", "wild"};
  for (int i = 0; i < 5; ++i) {
    cues.push_back(device.createBufferFromFile(
        programFolder() / (std::string(names[i]) + ".wav"), desc));
    cues.back()->setFrequency(frequencies[i]);
    cues.back()->setPan(-2000 + 1000 * i);
    cues.back()->play(DSBPLAY_LOOPING);
  }
  SpeechStream& stream = mixer.speechStream(espeak::kSampleRate);
  std::vector<double> perSecond;
  for (int trial = 0; trial < trials; ++trial) {
    stream.clear();
    stream.append(speech.data(), speech.size());
    perSecond.push_back(renderSecond(mixer));
  }
  printFigure("mixer CPU per second of speech and five cues", perSecond, "ms",
              "(no target; 10 ms is 1% of a core)");
}

}  // namespace pelliwick::bench
