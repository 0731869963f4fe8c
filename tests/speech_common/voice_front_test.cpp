// The checks and flag meanings every engine's voice shares, over a voice
// that records what it is asked to do.
#include "platform/speech_common/voice_front.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/utf8.h"

namespace pelliwick {
namespace {

class RecordingVoice : public VoiceFront {
 public:
  std::vector<std::string> calls;

 protected:
  std::string engineName() const override { return "the test"; }
  int voiceCount() override { return 3; }
  void chooseVoice(int index) override {
    calls.push_back("choose " + std::to_string(index));
  }
  void volumeSet(int volume) override {
    calls.push_back("volume " + std::to_string(volume));
  }
  void silence() override { calls.push_back("silence"); }
  void queue(const std::wstring& text, bool waited,
             bool namesCharacter) override {
    calls.push_back("queue [" + toUtf8(text) + "]" + (waited ? " waited" : "") +
                    (namesCharacter ? " named" : ""));
  }
};

TEST(VoiceFront, EachFlagMeansTheSameForEveryEngine) {
  struct Row {
    std::wstring text;
    unsigned flags;
    std::vector<std::string> calls;
  };
  const std::vector<Row> rows{
      {L"hello", SVSFDefault, {"queue [hello] waited"}},
      {L"hello", SVSFlagsAsync, {"queue [hello]"}},
      {L"hello", SVSFPurgeBeforeSpeak, {"silence", "queue [hello] waited"}},
      {L"5",
       SVSFlagsAsync | SVSFPurgeBeforeSpeak,
       {"silence", "queue [5] named"}},
      {L" ", SVSFDefault, {"queue [ ] waited named"}},
      {L"", SVSFPurgeBeforeSpeak, {"silence"}},
      {L"", SVSFlagsAsync, {}},
      // The null text that waits stands for what was queued before it.
      {L"", SVSFDefault, {"queue [] waited"}},
  };
  for (const Row& row : rows) {
    RecordingVoice voice;
    voice.speak(row.text, row.flags);
    EXPECT_EQ(voice.calls, row.calls)
        << "[" << toUtf8(row.text) << "] flags " << row.flags;
  }
}

TEST(VoiceFront, RefusesWhatNoEngineCanDo) {
  RecordingVoice voice;
  EXPECT_THROW(voice.speak(L"x", 4), Failure);
  EXPECT_THROW(voice.speak(L"x", SVSFlagsAsync | 8), Failure);
  for (int index : {-1, 3}) EXPECT_THROW(voice.selectVoice(index), Failure);
  voice.selectVoice(2);
  for (int volume : {-1, 101}) EXPECT_THROW(voice.setVolume(volume), Failure);
  voice.setVolume(0);
  voice.setVolume(100);
  voice.setRate(-12);
  EXPECT_EQ(voice.rate(), -12);
  // Only a volume that passed the check reaches the engine.
  const std::vector<std::string> expected{"choose 2", "volume 0", "volume 100"};
  EXPECT_EQ(voice.calls, expected);
}

}  // namespace
}  // namespace pelliwick
