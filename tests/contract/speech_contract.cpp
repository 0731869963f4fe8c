// The speech contract every engine keeps: the voices by index, rate and
// volume, queued texts in order, a purge that drops the queue, and a waited
// text that ends once heard or when the program is closing.
#include "speech_contract.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/failure.h"

namespace pelliwick::contract {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::wstring kLongText =
    L"this sentence is long enough to keep the speech engine busy for "
    L"several seconds while the test goes on with its work";

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int count(const std::vector<std::string>& texts, const std::string& text) {
  return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

TEST_P(SpeechContract, CountsItsVoicesByIndexAndThrowsPastTheEnd) {
  const auto voice = driver().createVoice({});
  const int voices = driver().installedVoices();
  ASSERT_GT(voices, 0);
  for (int index = 0; index < voices; ++index) {
    EXPECT_NO_THROW(voice->selectVoice(index)) << index;
  }
  EXPECT_THROW(voice->selectVoice(voices), Failure);
  EXPECT_THROW(voice->selectVoice(-1), Failure);
  // A failed selection leaves a voice that still speaks.
  voice->speak(L"still here", SVSFDefault);
  EXPECT_EQ(count(driver().spoken(), "still here"), 1);
}

TEST_P(SpeechContract, RateIsReadBackAndVolumeIsZeroToHundred) {
  const auto voice = driver().createVoice({});
  for (int rate : {3, -2, 10, -10, 0}) {
    voice->setRate(rate);
    EXPECT_EQ(voice->rate(), rate);
  }
  EXPECT_NO_THROW(voice->setVolume(0));
  EXPECT_NO_THROW(voice->setVolume(100));
  EXPECT_THROW(voice->setVolume(101), Failure);
  EXPECT_THROW(voice->setVolume(-1), Failure);
  voice->setVolume(95);
  voice->speak(L"loud enough", SVSFDefault);
  EXPECT_EQ(count(driver().spoken(), "loud enough"), 1);
}

TEST_P(SpeechContract, QueuedTextsReturnAtOnceAndAreSpokenInOrder) {
  const auto voice = driver().createVoice({});
  const auto start = Clock::now();
  voice->speak(L"first text", SVSFlagsAsync);
  voice->speak(L"second text", SVSFlagsAsync);
  voice->speak(L"third text", SVSFlagsAsync);
  EXPECT_LT(secondsSince(start), 0.3);
  // The null text, waited, stands for everything queued before it.
  voice->speak(L"", SVSFDefault);
  EXPECT_GT(secondsSince(start), 0.3);
  const std::vector<std::string> expected{"first text", "second text",
                                          "third text"};
  EXPECT_EQ(driver().spoken(), expected);
}

TEST_P(SpeechContract, PurgeDropsWhatIsQueuedAndCutsWhatIsSpoken) {
  const auto voice = driver().createVoice({});
  voice->speak(kLongText, SVSFlagsAsync);
  voice->speak(L"dropped", SVSFlagsAsync);
  std::this_thread::sleep_for(200ms);
  const auto start = Clock::now();
  voice->speak(L"after the purge", SVSFlagsAsync | SVSFPurgeBeforeSpeak);
  voice->speak(L"", SVSFDefault);
  // The long text lasts several seconds.
  EXPECT_LT(secondsSince(start), 2.0);
  const auto spoken = driver().spoken();
  EXPECT_EQ(count(spoken, "dropped"), 0);
  EXPECT_EQ(count(spoken, "after the purge"), 1);
  // The null text with the purge flag only silences.
  voice->speak(kLongText, SVSFlagsAsync);
  const auto silenced = Clock::now();
  voice->speak(L"", SVSFPurgeBeforeSpeak);
  voice->speak(L"", SVSFDefault);
  EXPECT_LT(secondsSince(silenced), 1.0);
}

TEST_P(SpeechContract, AWaitedTextReturnsOnceHeard) {
  const auto voice = driver().createVoice({});
  const auto start = Clock::now();
  voice->speak(L"a waited text of some length", SVSFDefault);
  const double took = secondsSince(start);
  EXPECT_GT(took, 0.3);
  EXPECT_LT(took, 5.0);
  EXPECT_EQ(count(driver().spoken(), "a waited text of some length"), 1);
}

TEST_P(SpeechContract, AWaitedTextIsGivenUpWhenTheProgramIsClosing) {
  const auto start = Clock::now();
  const auto voice =
      driver().createVoice([start] { return secondsSince(start) > 0.3; });
  const auto spoke = Clock::now();
  voice->speak(kLongText, SVSFDefault);
  EXPECT_LT(secondsSince(spoke), 1.0);  // the text lasts several seconds
  // Given up, the text is silenced: a later text is spoken at once.
  voice->speak(L"next", SVSFlagsAsync);
  const auto deadline = Clock::now() + 1s;
  while (count(driver().spoken(), "next") == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(count(driver().spoken(), "next"), 1);
}

}  // namespace
}  // namespace pelliwick::contract
