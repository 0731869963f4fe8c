#include "platform/espeak/espeak_engine.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "espeak_call_log.h"
#include "fake_speech_stream.h"
#include "platform/espeak/library_warnings.h"
#include "platform/espeak/speech_text.h"
#include "platform/failure.h"
#include "platform/report.h"
#include "platform/utf8.h"

namespace pelliwick::espeak::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Playback = FakeSpeechStream::Playback;

const std::wstring kLongText =
    L"this sentence is long enough to keep the speech engine busy for "
    L"several seconds while the test goes on with its work";

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename Condition>
bool waitUntil(Condition condition) {
  const auto deadline = Clock::now() + 5s;
  while (!condition()) {
    if (Clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) {
      old_ = old;
    }
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A fresh folder, removed with its contents at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "espeak-test-XXXXXX")
            .string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// An engine speaking into a fake stream, and its first voice.
struct Speaker {
  explicit Speaker(Playback playback,
                   std::optional<std::filesystem::path> data = std::nullopt)
      : stream(playback),
        engine([this]() -> SpeechStream& { return stream; }, data) {
    voice = std::dynamic_pointer_cast<EspeakVoice>(engine.createVoice());
  }

  int indexOf(const std::string& name) const {
    const auto& voices = voice->voices();
    for (std::size_t i = 0; i < voices.size(); ++i) {
      if (voices[i].name == name) {
        return static_cast<int>(i);
      }
    }
    ADD_FAILURE() << "no voice named " << name;
    return 0;
  }

  // Samples appended by speaking `text` with flags 0.
  std::vector<std::int16_t> sayAndRecord(const std::wstring& text) {
    const auto before = stream.appended();
    voice->speak(text, SVSFDefault);
    const auto all = stream.samples();
    return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
  }

  FakeSpeechStream stream;
  EspeakEngine engine;
  std::shared_ptr<EspeakVoice> voice;
};

std::vector<std::string> spokenTexts() {
  std::vector<std::string> texts;
  for (const auto& call : synthCalls()) {
    texts.push_back(call.text);
  }
  return texts;
}

int peak(const std::vector<std::int16_t>& samples) {
  int result = 0;
  for (auto sample : samples) {
    result = std::max(result, std::abs(int{sample}));
  }
  return result;
}

class EspeakEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearSynthCalls();
    failSynthOf("");
  }
};

TEST_F(EspeakEngineTest, ListsVoicesWithTheLocaleOneFirst) {
  ScopedEnv noData("ESPEAK_DATA_PATH", nullptr);
  struct Case {
    const char *lcAll, *lcMessages, *lang, *firstName;
  };
  for (const Case& c : {
           Case{nullptr, nullptr, "en_US.UTF-8", "English (America)"},
           Case{"C", nullptr, "de_DE.UTF-8", "English (Great Britain)"},
           Case{nullptr, nullptr, nullptr, "English (Great Britain)"},
           Case{nullptr, "de_DE.UTF-8", "en_US.UTF-8", "German"},
       }) {
    ScopedEnv all("LC_ALL", c.lcAll);
    ScopedEnv messages("LC_MESSAGES", c.lcMessages);
    ScopedEnv lang("LANG", c.lang);
    int asked = 0;
    FakeSpeechStream stream(Playback::Instant);
    EspeakEngine engine([&]() -> SpeechStream& {
      ++asked;
      return stream;
    });
    auto voice = engine.createVoice();
    const auto& voices = dynamic_cast<EspeakVoice&>(*voice).voices();
    ASSERT_GT(voices.size(), 10u);
    EXPECT_EQ(voices[0].name, c.firstName) << (c.lang ? c.lang : "no LANG");

    // The game counts the voices by selecting until it fails.
    int count = 0;
    while (count < 1000) {
      try {
        voice->selectVoice(count);
      } catch (const Failure&) {
        break;
      }
      ++count;
    }
    EXPECT_EQ(count, static_cast<int>(voices.size()));
    for (int outside : {-1, INT_MIN, INT_MAX}) {
      EXPECT_THROW(voice->selectVoice(outside), Failure) << outside;
    }
    EXPECT_EQ(asked, 0) << "nothing was spoken, so no stream is needed";
  }
}

TEST_F(EspeakEngineTest, SpeaksInTheVoiceAndRateSetWhenQueued) {
  Speaker speaker(Playback::Instant);
  EspeakVoice& voice = *speaker.voice;
  const int german = speaker.indexOf("German");
  const std::string first = voice.voices()[0].name;
  ASSERT_NE(first, "German");

  voice.selectVoice(german);
  voice.setRate(5);
  voice.speak(L"eins", SVSFlagsAsync);
  voice.selectVoice(0);
  voice.setRate(0);
  voice.speak(L"one", SVSFDefault);
  voice.setRate(INT_MAX);
  voice.speak(L"fast", SVSFDefault);
  voice.setRate(-10);
  voice.speak(L"slow", SVSFDefault);
  EXPECT_EQ(voice.rate(), -10);

  const auto calls = synthCalls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].voice, "German");
  EXPECT_EQ(calls[0].rate, 303);
  EXPECT_EQ(calls[0].text, "eins");
  EXPECT_EQ(calls[1].voice, first);
  EXPECT_EQ(calls[1].rate, 175);
  EXPECT_EQ(calls[2].rate, 900);
  EXPECT_EQ(calls[3].rate, 80);
}

TEST_F(EspeakEngineTest, HigherRateGivesShorterAudio) {
  Speaker speaker(Playback::Instant);
  std::vector<std::size_t> lengths;
  for (int rate : {-5, 0, 5}) {
    speaker.voice->setRate(rate);
    lengths.push_back(speaker.sayAndRecord(L"how many guesses").size());
  }
  // Each five steps is a factor of about 1.7 in speed.
  EXPECT_GT(lengths[0], lengths[1] * 13 / 10);
  EXPECT_GT(lengths[1], lengths[2] * 13 / 10);
}

TEST_F(EspeakEngineTest, VolumeScalesTheSamples) {
  Speaker speaker(Playback::Instant);
  EspeakVoice& voice = *speaker.voice;
  const int full = peak(speaker.sayAndRecord(L"sorry your guess was too low"));
  voice.setVolume(50);
  const int half = peak(speaker.sayAndRecord(L"sorry your guess was too low"));
  voice.setVolume(0);
  const auto silent = speaker.sayAndRecord(L"sorry your guess was too low");

  EXPECT_GT(full, 5000);
  EXPECT_NEAR(half, full / 2, full / 10);
  EXPECT_GT(silent.size(), 10000u);
  EXPECT_EQ(peak(silent), 0);
  EXPECT_THROW(voice.setVolume(-1), Failure);
  EXPECT_THROW(voice.setVolume(101), Failure);
}

// Where the first sample louder than about -50 dBFS lies.
std::size_t firstAudible(const std::vector<std::int16_t>& samples) {
  const auto loud = std::find_if(samples.begin(), samples.end(), [](auto s) {
    return std::abs(int{s}) >= 100;
  });
  return static_cast<std::size_t>(loud - samples.begin());
}

TEST_F(EspeakEngineTest, EveryKeyIsHeardPromptlyInEveryVoiceTried) {
  Speaker speaker(Playback::Instant);
  EspeakVoice& voice = *speaker.voice;
  const std::wstring sentence = L" Yes! you got it ";
  const auto sentenceBefore = speaker.sayAndRecord(sentence);
  const auto unmarked = speaker.sayAndRecord(L" Yes you got it ");

  for (const std::string& name :
       {voice.voices()[0].name, std::string("German"),
        std::string("French (France)"), std::string("Russian")}) {
    voice.selectVoice(speaker.indexOf(name));
    for (const wchar_t* key :
         {L"-", L".", L"(", L"\u00bf", L"\u00bb", L"`", L"'", L"\"", L"&", L"/",
          L"\u00be", L"\u00bd", L" ", L"2", L"a"}) {
      // The echo: faster, after a purge, not waited for.
      voice.setRate(5);
      voice.speak(key, SVSFlagsAsync | SVSFPurgeBeforeSpeak);
      voice.setRate(0);
      const auto before = speaker.stream.appended();
      voice.speak(key, SVSFlagsAsync);
      voice.speak(L"", SVSFDefault);
      const auto all = speaker.stream.samples();
      const std::vector<std::int16_t> echo(
          all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
      EXPECT_GT(peak(echo), 1000) << name << " says nothing for " << key;
      // espeak-ng's lead-in before "2" alone is 32 ms.
      EXPECT_LE(firstAudible(echo), 22050u * 2 / 1000) << name << " " << key;
    }
  }
  EXPECT_EQ(synthCalls().back().rate, 175);
  EXPECT_EQ(spokenTexts()[spokenTexts().size() - 6], "space");

  // Sentences are read as before: their marks are not named, which would
  // make this one about 0.9 s longer. Short texts keep their lead-in.
  voice.selectVoice(0);
  const auto sentenceAfter = speaker.sayAndRecord(sentence);
  EXPECT_NEAR(static_cast<double>(sentenceAfter.size()),
              static_cast<double>(sentenceBefore.size()), 22050 * 0.05);
  EXPECT_LT(sentenceAfter.size(), unmarked.size() + 22050 / 2);
  EXPECT_GT(firstAudible(speaker.sayAndRecord(L" 2")), 22050u * 20 / 1000)
      << "a sentence keeps its lead-in";
}

// Writes what is reported as the program's reporter does.
class ProgramReporter : public Reporter {
 public:
  ProgramReporter() { setReporter(this); }
  ~ProgramReporter() override { setReporter(nullptr); }
  void report(std::string_view line) override {
    std::fprintf(stderr, "pelliwick: %.*s\n", static_cast<int>(line.size()),
                 line.data());
  }
};

TEST_F(EspeakEngineTest, DictionaryWarningsComeOnceAsTheProgramsOwnLine) {
  ProgramReporter reporter;
  Speaker speaker(Playback::Instant);
  EspeakVoice& voice = *speaker.voice;
  ::testing::internal::CaptureStderr();
  // Belarusian's dictionary is partial in Debian's espeak-ng-data.
  for (const char* name : {"Belarusian", "German", "Belarusian"}) {
    voice.selectVoice(speaker.indexOf(name));
    speaker.sayAndRecord(L"a");
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "pelliwick: espeak-ng: Full dictionary is not installed for "
            "'be'\n");
}

// The program's own lines caught with the library's are not reported again.
TEST(LibraryWarnings, AreReportedOnceAndTheProgramsOwnLinesPassAsTheyCame) {
  ProgramReporter reporter;
  const auto writeToStderr = [](const char* text) {
    return [text] {
      [[maybe_unused]] auto written = write(2, text, std::strlen(text));
    };
  };
  ::testing::internal::CaptureStderr();
  withWarningsAsOwnLines(
      writeToStderr("odd voice\npelliwick: the sound came back\nodd voice\n"));
  withWarningsAsOwnLines(writeToStderr("odd voice\n"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "pelliwick: espeak-ng: odd voice\n"
            "pelliwick: the sound came back\n");
}

TEST_F(EspeakEngineTest, WaitingSpeakReturnsOnceTheTextIsHeard) {
  Speaker speaker(Playback::RealTime);
  auto start = Clock::now();
  speaker.voice->speak(L"five", SVSFDefault);
  double took = secondsSince(start);
  double heard = speaker.stream.appended() / 22050.0;
  EXPECT_GT(heard, 0.2);
  EXPECT_GE(took, heard * 0.9);
  EXPECT_LT(took, heard + 2.0);
  EXPECT_EQ(speaker.stream.playedPosition(), speaker.stream.appended());

  // The null text waits for the texts queued before it.
  start = Clock::now();
  speaker.voice->speak(L"five", SVSFlagsAsync);
  speaker.voice->speak(L"", SVSFDefault);
  took = secondsSince(start);
  EXPECT_GE(took, heard * 0.8);
  EXPECT_LT(took, heard * 2 + 2.0);
  EXPECT_EQ(speaker.stream.playedPosition(), speaker.stream.appended());
}

TEST_F(EspeakEngineTest, AsyncSpeakReturnsAtOnceAndKeepsTheOrder) {
  Speaker speaker(Playback::RealTime);
  // The second text is synthesised only once the first has nearly played.
  speaker.stream.speed = 10;
  const auto start = Clock::now();
  speaker.voice->speak(kLongText, SVSFlagsAsync);
  speaker.voice->speak(L"second " + kLongText, SVSFlagsAsync);
  EXPECT_LT(secondsSince(start), 0.5);
  ASSERT_TRUE(waitUntil([] { return synthCalls().size() == 2; }));
  EXPECT_EQ(spokenTexts()[1].rfind("second ", 0), 0u);
  // Still playing; the engine goes away with its audio queued.
  EXPECT_LT(speaker.stream.playedPosition(), speaker.stream.appended());
}

TEST_F(EspeakEngineTest, PurgeSilencesTheStreamAbortsAndDropsTheQueue) {
  Speaker speaker(Playback::RealTime);
  EspeakVoice& voice = *speaker.voice;
  speaker.stream.appendDelay = 20ms;  // keeps the synthesis going ~2 s
  voice.speak(kLongText, SVSFlagsAsync);
  voice.speak(L"dropped", SVSFlagsAsync);
  ASSERT_TRUE(waitUntil([&] { return speaker.stream.appended() > 0; }));

  voice.speak(L"", SVSFPurgeBeforeSpeak);
  EXPECT_EQ(speaker.stream.clears(), 1);
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(speaker.stream.appendedSinceClear(), 0u) << "synthesis went on";

  speaker.stream.appendDelay = 0ms;
  voice.speak(L"after", SVSFDefault);
  EXPECT_GT(speaker.stream.appendedSinceClear(), 0u);
  EXPECT_EQ(spokenTexts(), (std::vector<std::string>{
                               "this sentence is long enough to keep the "
                               "speech engine busy for several seconds while "
                               "the test goes on with its work",
                               "after"}));

  // The key echo: faster, purging, not waiting, rate back at once.
  speaker.stream.appendDelay = 20ms;
  const auto before = speaker.stream.appended();
  voice.speak(kLongText, SVSFlagsAsync);
  ASSERT_TRUE(waitUntil([&] { return speaker.stream.appended() > before; }));
  const auto start = Clock::now();
  voice.setRate(5);
  voice.speak(L"5", SVSFlagsAsync | SVSFPurgeBeforeSpeak);
  voice.setRate(0);
  EXPECT_LT(secondsSince(start), 0.5);
  EXPECT_EQ(speaker.stream.clears(), 2);
  ASSERT_TRUE(waitUntil([] { return synthCalls().size() == 4; }))
      << ::testing::PrintToString(spokenTexts());
  EXPECT_EQ(synthCalls()[3].text, "5");
  EXPECT_EQ(synthCalls()[3].rate, 303);
}

TEST_F(EspeakEngineTest, APurgeCutsAVeryLongSynthesisShort) {
  Speaker speaker(Playback::RealTime);
  speaker.stream.speed = 10;  // "after" is heard in 40 ms
  std::wstring veryLong;
  for (int i = 0; i < 400; ++i) veryLong += kLongText;  // half an hour
  speaker.voice->speak(veryLong, SVSFlagsAsync);
  ASSERT_TRUE(waitUntil([&] { return speaker.stream.appended() > 0; }));
  speaker.voice->speak(L"", SVSFPurgeBeforeSpeak);
  // Left to run out, the synthesis alone would take seconds.
  const auto start = Clock::now();
  speaker.voice->speak(L"after", SVSFDefault);
  std::printf("after a purge, a short text heard in %.0f ms\n",
              1000 * secondsSince(start));
  EXPECT_LT(secondsSince(start), 0.5);
}

TEST_F(EspeakEngineTest, ALongQueueIsSynthesisedJustAheadOfPlayback) {
  Speaker speaker(Playback::RealTime);
  speaker.stream.speed = 500;  // a second of speech in 2 ms
  std::vector<std::string> queued;
  for (int i = 0; i < 1000; ++i) {
    queued.push_back("text " + std::to_string(i) + " of the queue " +
                     toUtf8(kLongText));
    speaker.voice->speak(
        std::wstring(queued.back().begin(), queued.back().end()),
        SVSFlagsAsync);
  }
  ASSERT_TRUE(waitUntil([] { return synthCalls().size() >= 30; }));

  speaker.voice->speak(L"", SVSFPurgeBeforeSpeak);
  const auto made = synthCalls().size();
  std::this_thread::sleep_for(100ms);
  EXPECT_LE(synthCalls().size(), made + 1) << "the purge dropped the queue";
  EXPECT_EQ(speaker.stream.appendedSinceClear(), 0u);
  EXPECT_EQ(spokenTexts(),
            std::vector<std::string>(
                queued.begin(), queued.begin() + static_cast<std::ptrdiff_t>(
                                                     synthCalls().size())));
  // One second ahead, plus the chunk that crossed it.
  EXPECT_LT(speaker.stream.maxBacklog(), 22050u * 12 / 10);
  EXPECT_GT(speaker.stream.appended(), 30u * 22050);
}

TEST_F(EspeakEngineTest, PurgeEndsAWaitingSpeak) {
  Speaker speaker(Playback::RealTime);
  std::thread waiting([&] { speaker.voice->speak(kLongText, SVSFDefault); });
  ASSERT_TRUE(waitUntil([&] { return speaker.stream.appended() > 0; }));
  std::this_thread::sleep_for(100ms);
  const auto start = Clock::now();
  speaker.voice->speak(L"", SVSFPurgeBeforeSpeak);
  waiting.join();
  EXPECT_LT(secondsSince(start), 1.0);  // the text lasts several seconds
}

TEST_F(EspeakEngineTest, AWaitingSpeakEndsSilentlyWhenTheProgramIsEnding) {
  FakeSpeechStream stream(Playback::RealTime);
  const auto start = Clock::now();
  EspeakEngine engine([&]() -> SpeechStream& { return stream; }, std::nullopt,
                      [&] { return secondsSince(start) > 0.2; });
  const auto voice = engine.createVoice();
  voice->speak(kLongText, SVSFDefault);
  EXPECT_LT(secondsSince(start), 1.0);  // the text lasts several seconds
  EXPECT_GE(stream.clears(), 1);

  // Also while texts queued before it are still being synthesised.
  const auto queuedAt = Clock::now();
  for (int i = 0; i < 5; ++i) {
    voice->speak(kLongText, SVSFlagsAsync);
  }
  voice->speak(L"", SVSFDefault);
  EXPECT_LT(secondsSince(queuedAt), 0.3);

  // And once it has been synthesised, while it is still being played.
  stream.speed = 0.1;  // "five" now lasts four seconds
  const auto synthesisedAt = Clock::now();
  voice->speak(L"five", SVSFDefault);
  EXPECT_LT(secondsSince(synthesisedAt), 0.3);
}

TEST_F(EspeakEngineTest, AFailureIsReportedByTheCallThatFailed) {
  Speaker speaker(Playback::Instant);
  EspeakVoice& voice = *speaker.voice;
  EXPECT_THROW(voice.speak(L"four", 4), Failure);
  EXPECT_THROW(voice.speak(L"high", 0x80000000u), Failure);
  EXPECT_TRUE(synthCalls().empty());

  failSynthOf("broken");
  EXPECT_THROW(voice.speak(L"broken", SVSFDefault), Failure);
  // A queued text that fails is not heard; nothing later reports it, so a
  // purge that worked cannot cut a line entry short.
  voice.speak(L"broken", SVSFlagsAsync);
  voice.speak(L"fine", SVSFlagsAsync);
  EXPECT_NO_THROW(voice.speak(L"", SVSFPurgeBeforeSpeak));
  voice.speak(L"broken", SVSFlagsAsync);
  EXPECT_NO_THROW(voice.speak(L"", SVSFDefault));
  EXPECT_NO_THROW(voice.speak(L"fine", SVSFDefault));
}

TEST_F(EspeakEngineTest, AVoiceThatCannotLoadFailsWhenSelected) {
  TempFolder noGermanDictionary;
  for (const auto& entry :
       std::filesystem::directory_iterator(PELLIWICK_ESPEAK_DATA_DIR)) {
    if (entry.path().filename() != "de_dict") {
      std::filesystem::create_symlink(
          entry.path(), noGermanDictionary.path() / entry.path().filename());
    }
  }
  Speaker speaker(Playback::Instant, noGermanDictionary.path());
  speaker.voice->selectVoice(speaker.indexOf("French (France)"));
  EXPECT_THROW(speaker.voice->selectVoice(speaker.indexOf("German")), Failure);
  // The voice selected before the failure still speaks.
  EXPECT_GT(peak(speaker.sayAndRecord(L"bonjour")), 1000);
}

TEST_F(EspeakEngineTest, ReportsAStartFailureAndRunsWithoutVoices) {
  TempFolder empty;
  try {
    Speaker speaker(Playback::Instant, empty.path());
    ADD_FAILURE() << "espeak-ng started without its data";
  } catch (const Failure& failure) {
    const std::string message = failure.what();
    EXPECT_EQ(message.rfind("espeak-ng could not start: ", 0), 0u) << message;
    EXPECT_NE(message.find("phontab"), std::string::npos) << message;
  }

  // espeak-ng's data without its voices, found through the environment.
  TempFolder noVoices;
  for (const auto& entry :
       std::filesystem::directory_iterator(PELLIWICK_ESPEAK_DATA_DIR)) {
    const auto name = entry.path().filename();
    if (name != "voices" && name != "lang") {
      std::filesystem::create_symlink(entry.path(), noVoices.path() / name);
    }
  }
  {
    ScopedEnv data("ESPEAK_DATA_PATH", noVoices.path().c_str());
    Speaker speaker(Playback::Instant);
    EXPECT_TRUE(speaker.voice->voices().empty());
    EXPECT_THROW(speaker.voice->selectVoice(0), Failure);
    EXPECT_THROW(speaker.voice->speak(L"hello", SVSFDefault), Failure);
    speaker.voice->speak(L"", SVSFPurgeBeforeSpeak);
  }

  // A later engine on the full data speaks again.
  Speaker speaker(Playback::Instant);
  EXPECT_FALSE(speaker.sayAndRecord(L"hello").empty());
}

TEST_F(EspeakEngineTest, OneEngineAtATimeStoppingCleanlyWithSpeechQueued) {
  auto first = std::make_unique<Speaker>(Playback::RealTime);
  for (int i = 0; i < 3; ++i) {
    first->voice->speak(kLongText, SVSFlagsAsync);
  }
  // Refused at once, though the first engine's synthesis waits for playback.
  ASSERT_TRUE(waitUntil([&] { return first->stream.appended() > 22050; }));
  auto start = Clock::now();
  {
    FakeSpeechStream stream(Playback::Instant);
    EspeakEngine second([&]() -> SpeechStream& { return stream; });
    EXPECT_THROW(second.createVoice(), Failure);
  }
  EXPECT_LT(secondsSince(start), 0.5);
  // Its stream barely plays now: the synthesis must not wait for it.
  first->stream.speed = 0.01;
  start = Clock::now();
  first.reset();
  EXPECT_LT(secondsSince(start), 1.0);

  Speaker next(Playback::Instant);
  EXPECT_FALSE(next.sayAndRecord(L"again").empty());
}

}  // namespace
}  // namespace pelliwick::espeak::test
