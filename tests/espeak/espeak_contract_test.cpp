// The speech contract on espeak-ng, playing in real time into a fake
// stream.
#include <optional>

#include "espeak_call_log.h"
#include "fake_speech_stream.h"
#include "platform/espeak/espeak_engine.h"
#include "speech_contract.h"

namespace pelliwick::espeak::test {
namespace {

class EspeakDriver : public contract::SpeechDriver {
 public:
  EspeakDriver() {
    clearSynthCalls();
    failSynthOf("");
  }

  std::shared_ptr<SpeechVoice> createVoice(GiveUp closing) override {
    engine_.emplace([this]() -> SpeechStream& { return stream_; }, std::nullopt,
                    std::move(closing));
    voice_ = std::dynamic_pointer_cast<EspeakVoice>(engine_->createVoice());
    return voice_;
  }

  int installedVoices() override {
    return static_cast<int>(voice_->voices().size());
  }

  std::vector<std::string> spoken() override {
    std::vector<std::string> texts;
    for (const auto& call : synthCalls()) texts.push_back(call.text);
    return texts;
  }

 private:
  FakeSpeechStream stream_{FakeSpeechStream::Playback::RealTime};
  std::optional<EspeakEngine> engine_;
  std::shared_ptr<EspeakVoice> voice_;
};

using contract::SpeechContract;
INSTANTIATE_TEST_SUITE_P(Espeak, SpeechContract,
                         testing::Values(contract::SpeechBackend{
                             "espeak",
                             [] { return std::make_unique<EspeakDriver>(); }}),
                         contract::backendName);

}  // namespace
}  // namespace pelliwick::espeak::test
