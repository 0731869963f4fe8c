// F4 and Ctrl in the real program: the voice chooser changes the voice that
// speaks, the rate adjuster makes the speech that follows faster.
#include "e2e_support.h"

namespace pelliwick::e2e {
namespace {

const std::string kQuestion = "do you want to use this voice";
const std::string kInstructions =
    "to adjust the speech rate, use the arrow keys and then press enter";

// The last line of `kind` logged before line `index`.
std::string lastBefore(const std::vector<SpeechLine>& lines, std::size_t index,
                       const std::string& kind) {
  for (std::size_t i = index; i-- > 0;) {
    if (lines[i].kind == kind) return lines[i].text;
  }
  return {};
}

// Seconds of sound from the first loud sample at or after `fromByte` to
// the last one before a silence of `gap` seconds. Only ratios of it are
// compared, so the device's rate does not matter beyond the gap.
double soundLength(const std::vector<float>& samples, std::size_t fromByte,
                   std::size_t bytesPerSample) {
  constexpr double kFramesPerSecond = 2 * 44100.0;
  constexpr float kLoud = 0.01f;
  const auto gap = static_cast<std::size_t>(0.8 * kFramesPerSecond);
  std::size_t i = fromByte / bytesPerSample;
  while (i < samples.size() && std::abs(samples[i]) < kLoud) ++i;
  const std::size_t first = i;
  std::size_t last = i;
  for (; i < samples.size() && i - last < gap; ++i) {
    if (std::abs(samples[i]) >= kLoud) last = i;
  }
  return static_cast<double>(last - first) / kFramesPerSecond;
}

TEST_F(EndToEnd, F4ChangesTheVoiceAndCtrlUpMakesSpeechFaster) {
  startXvfb();
  startGame(gameEnvironment());
  std::size_t cursor = waitForSpeech({kTitle}, 0);
  runTool({"xdotool", "windowfocus", "--sync", findGameWindow()});
  cursor = waitForSpeech({kPrompt}, cursor);
  // A little before the prompt was handed over: nothing else plays then.
  const std::size_t firstPromptAt = audioBytes() - 4096;
  std::this_thread::sleep_for(4s);  // heard to its end

  // F4 asks in the current voice; n moves to the next voice and asks again.
  key("F4");
  const std::size_t firstQuestion = waitForSpeech({kQuestion}, cursor);
  cursor = waitForSpeech({" no "}, firstQuestion);
  key("n");
  const std::size_t secondQuestion = waitForSpeech({kQuestion}, cursor);
  const auto lines = readSpeechLog(speechLog_);
  const std::string firstVoice = lastBefore(lines, firstQuestion, "voice");
  const std::string secondVoice = lastBefore(lines, secondQuestion, "voice");
  EXPECT_FALSE(firstVoice.empty());
  EXPECT_NE(firstVoice, secondVoice) << gameReport();
  cursor = waitForSpeech({" no "}, secondQuestion);
  key("y");
  cursor = waitForSpeech({kPrompt}, cursor);
  const std::string promptRate =
      lastBefore(readSpeechLog(speechLog_), cursor, "rate");
  EXPECT_EQ(lastBefore(readSpeechLog(speechLog_), cursor, "voice"),
            secondVoice);

  // Ctrl, then Up three times: each new rate is said.
  std::this_thread::sleep_for(300ms);
  key("Control_L");
  cursor = waitForSpeech({kInstructions}, cursor);
  cursor = waitForSpeech({"0"}, cursor);
  for (const char* said : {"1", "2", "3"}) {
    key("Up");
    cursor = waitForSpeech({said}, cursor);
  }
  key("Return");
  cursor = waitForSpeech({kPrompt}, cursor);
  // F1 silences what is queued and says the prompt alone, now faster.
  std::this_thread::sleep_for(300ms);
  key("F1");
  cursor = waitForSpeech({kPrompt}, cursor + 1);
  const std::size_t fastPromptAt = audioBytes() - 4096;
  const std::string fastRate =
      lastBefore(readSpeechLog(speechLog_), cursor, "rate");
  std::this_thread::sleep_for(3500ms);

  EXPECT_GT(std::stoi(fastRate), std::stoi(promptRate));
  const auto audio = readAudio(audioFile_);
  const std::size_t width = readFile(audioFile_).size() / audio.size();
  const double slow = soundLength(audio, firstPromptAt, width);
  const double fast = soundLength(audio, fastPromptAt, width);
  std::printf(
      "prompt heard in %.2f s at rate 0 (%s wpm), %.2f s at rate 3 "
      "(%s wpm)\n",
      slow, promptRate.c_str(), fast, fastRate.c_str());
  EXPECT_GT(slow, 1.5);
  EXPECT_LT(fast, 0.85 * slow);
  EXPECT_GT(fast, 0.5 * slow);

  game_.signal(SIGTERM);
  expectCleanExit(10s);
}

}  // namespace
}  // namespace pelliwick::e2e
