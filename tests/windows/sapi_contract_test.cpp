// The speech contract on SAPI under Wine, with the test voice.
#include <optional>

#include "platform/win32/com_apartment.h"
#include "platform/win32/sapi_engine.h"
#include "speech_contract.h"
#include "test_voice_log.h"

namespace pelliwick::win32::test {
namespace {

class SapiDriver : public contract::SpeechDriver {
 public:
  std::shared_ptr<SpeechVoice> createVoice(GiveUp closing) override {
    engine_.emplace(std::move(closing));
    return engine_->createVoice();
  }
  // The test voice's A, B and C (Wine's own is listed but cannot speak).
  int installedVoices() override { return 3; }
  std::vector<std::string> spoken() override { return log_.values("synth"); }

 private:
  ComApartment com_;
  TestVoiceLog log_;
  std::optional<SapiEngine> engine_;
};

using contract::SpeechContract;
INSTANTIATE_TEST_SUITE_P(Sapi, SpeechContract,
                         testing::Values(contract::SpeechBackend{
                             "sapi",
                             [] { return std::make_unique<SapiDriver>(); }}),
                         contract::backendName);

}  // namespace
}  // namespace pelliwick::win32::test
