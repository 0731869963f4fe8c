// SAPI under Wine with the test voice: the voices it lists, what each
// failing call reports, and how a key's character reaches the voice.
#include "platform/win32/sapi_engine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "platform/failure.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/win32_failure.h"
#include "test_voice_log.h"

namespace pelliwick::win32::test {
namespace {

// What the test voice answers for a call it is told to fail.
constexpr long kTestVoiceFailure = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

class ScopedFailure {
 public:
  explicit ScopedFailure(const wchar_t* methods) {
    SetEnvironmentVariableW(L"PELLIWICK_TEST_VOICE_FAIL", methods);
  }
  ~ScopedFailure() {
    SetEnvironmentVariableW(L"PELLIWICK_TEST_VOICE_FAIL", nullptr);
  }
};

class SapiEngineTest : public testing::Test {
 protected:
  ComApartment com_;
  TestVoiceLog log_;
  SapiEngine engine_{{}};
};

TEST_F(SapiEngineTest, CountsTheVoicesThatSpeakInSapisOrder) {
  const auto voice = engine_.createVoice();
  // Every voice SAPI lists is tried, Wine's own too, which cannot speak;
  // the first that speaks is then chosen.
  // (Wine lists the tokens by key name.)
  const std::vector<std::string> tried{
      "Pelliwick Test Voice A", "Pelliwick Test Voice B",
      "Pelliwick Test Voice C", "Wine Default Voice", "Pelliwick Test Voice A"};
  EXPECT_EQ(log_.values("voice"), tried);
  voice->selectVoice(1);
  voice->selectVoice(2);
  voice->selectVoice(0);
  const auto chosen = log_.values("voice");
  const std::vector<std::string> last(chosen.end() - 3, chosen.end());
  const std::vector<std::string> expected{"Pelliwick Test Voice B",
                                          "Pelliwick Test Voice C",
                                          "Pelliwick Test Voice A"};
  EXPECT_EQ(last, expected);
  EXPECT_THROW(voice->selectVoice(3), Failure);
}

TEST_F(SapiEngineTest, AVoiceWhoseSilentPurgeFailsIsNotCounted) {
  const ScopedFailure failure(L"Speak");
  const auto voice = engine_.createVoice();
  EXPECT_THROW(voice->selectVoice(0), Failure);
}

TEST_F(SapiEngineTest, EveryFailingCallRaisesFailureWithTheSystemsWords) {
  const std::string words = describeHresult(kTestVoiceFailure);
  ASSERT_EQ(words.rfind("error ", 0), std::string::npos) << words;
  const auto voice = engine_.createVoice();
  const std::vector<
      std::pair<const wchar_t*, std::function<void(SpeechVoice&)>>>
      calls{
          {L"SetVoice", [](SpeechVoice& v) { v.selectVoice(1); }},
          {L"SetRate", [](SpeechVoice& v) { v.setRate(2); }},
          {L"GetRate", [](SpeechVoice& v) { v.rate(); }},
          {L"Speak", [](SpeechVoice& v) { v.speak(L"hello", 1); }},
          {L"Speak", [](SpeechVoice& v) { v.speak(L"", 2); }},
          {L"SetVolume", [](SpeechVoice& v) { v.setVolume(40); }},
          {L"WaitUntilDone", [](SpeechVoice& v) { v.speak(L"waited", 0); }},
      };
  for (const auto& [method, call] : calls) {
    const ScopedFailure failure(method);
    try {
      call(*voice);
      ADD_FAILURE() << "no failure when " << method << " fails";
    } catch (const Failure& error) {
      EXPECT_NE(std::string(error.what()).find(words), std::string::npos)
          << error.what();
    }
  }
}

TEST_F(SapiEngineTest, RatesBeyondSapisStepsAreHeldAtTheirEnds) {
  // The game sets no bound, and the echo goes five steps above the rate:
  // from rate 6 on it would ask a voice that refuses rate 11 (the test
  // voice does, as SAPI may) and the key would be lost. SAPI's steps end at
  // -10 and 10, and a rate beyond them is held there, as SAPI documents.
  const auto voice = engine_.createVoice();
  for (const int rate : {10, 11, 15, -10, -11, -40, 3}) voice->setRate(rate);
  const std::vector<std::string> sent{"10",  "10",  "10", "-10",
                                      "-10", "-10", "3"};
  const auto rates = log_.values("rate");
  ASSERT_GE(rates.size(), sent.size());
  EXPECT_EQ(std::vector<std::string>(rates.end() - 7, rates.end()), sent);
  voice->setRate(13);
  EXPECT_EQ(voice->rate(), 10);
}

TEST_F(SapiEngineTest, AKeysCharacterIsSpeltSoEveryKeyIsHeard) {
  const auto voice = engine_.createVoice();
  // Each echo is a silent purge, then its text queued: SPF_ASYNC (1) with
  // SPF_IS_XML (8) or SPF_IS_NOT_XML (16).
  const std::vector<std::pair<std::wstring, std::string>> echoes{
      {L"-", "9 <spell>-</spell>"},
      {L"5", "9 <spell>5</spell>"},
      {L"<", "9 <spell>&lt;</spell>"},
      {L"&", "9 <spell>&amp;</spell>"},
      {L" ", "17 space"},
      {std::wstring(1, L'\0'), "17 space"},
      {L"a-b", "17 a-b"},
      {L"<spell>", "17 <spell>"},
  };
  std::vector<std::string> expected;
  for (const auto& [key, said] : echoes) {
    voice->speak(key, SVSFlagsAsync | SVSFPurgeBeforeSpeak);
    expected.push_back("2 ");
    expected.push_back(said);
  }
  voice->speak(L"", SVSFDefault);
  const auto spoken = log_.values("speak");
  ASSERT_GE(spoken.size(), expected.size());
  const std::vector<std::string> last(spoken.end() - expected.size(),
                                      spoken.end());
  EXPECT_EQ(last, expected);
  // The last one was heard to its end.
  EXPECT_EQ(log_.values("done").back(), "<spell>");
}

}  // namespace
}  // namespace pelliwick::win32::test
