// The faults the Linux end-to-end tests try, tried on pelliwick.exe under
// Wine: cues missing or broken, a voice whose every Speak fails, and a storm
// of random keys.
#include <fstream>
#include <random>
#include <thread>

#include "wine_game.h"

namespace pelliwick::e2e {
namespace {

TEST_F(WineEndToEnd, AMissingAndABrokenCueAreSkippedAndTheGamePlaysOn) {
  startWine(Sapi::TestVoice);
  if (IsSkipped() || HasFatalFailure()) return;
  // A copy of the program with wild.wav as it is, dong.wav missing and
  // ding.wav not a WAV file at all.
  const fs::path copy = dir_ / "game";
  fs::create_directories(copy);
  fs::copy_file(binary_, copy / "pelliwick.exe");
  fs::copy_file(binary_.parent_path() / "wild.wav", copy / "wild.wav");
  std::ofstream(copy / "ding.wav", std::ios::binary) << "RIFF\x10garbage";
  startProgram(wineEnvironment(), copy / "pelliwick.exe");
  std::size_t cursor = waitForSpeech({kTitle}, 0);
  runTool({"xdotool", "windowfocus", "--sync", findGameWindow()});
  cursor = waitForSpeech({kPrompt}, cursor) + 1;
  // 0 is too low: the missing dong; the right guess: the broken ding.
  std::this_thread::sleep_for(150ms);
  runTool({"xdotool", "key", "--delay", "50", "0", "Return"});
  cursor = waitForSpeech({kTooLow}, cursor);
  cursor = waitForSpeech({kPrompt}, cursor) + 1;
  guessByHalving(cursor, 1, 100, 1);
  sayNoAndExpectTheEnd(cursor);
}

TEST_F(WineEndToEnd, AVoiceThatCannotSpeakShowsTheNoVoiceBox) {
  startWine(Sapi::TestVoice);
  if (IsSkipped() || HasFatalFailure()) return;
  Environment env = wineEnvironment();
  env["PELLIWICK_TEST_VOICE_FAIL"] = "Speak";
  startProgram(env);
  const std::string box = waitForBox(60s);
  ASSERT_NE(box, "") << "no message box: the player is left in silence\n"
                     << gameReport();
  runTool({"xdotool", "windowfocus", "--sync", box, "key", "Return"});
  expectCleanExit(15s);
  for (const auto& line : readSpeechLog(speechLog_)) {
    EXPECT_NE(line.kind, "done") << "spoke [" << line.text << "]";
  }
}

TEST_F(WineEndToEnd, StormOfRandomKeysThenTheGameStillAnswersAndEnds) {
  constexpr int kKeys = 400;
  startWine(Sapi::TestVoice);
  if (IsSkipped() || HasFatalFailure()) return;
  Environment env = wineEnvironment();
  env["PELLIWICK_TEST_VOICE_MS_PER_CHAR"] = "5";
  startProgram(env);
  std::size_t cursor = waitForSpeech({kTitle}, 0);
  runTool({"xdotool", "windowfocus", "--sync", findGameWindow()});
  cursor = waitForSpeech({kPrompt}, cursor);

  ASSERT_NO_FATAL_FAILURE(sendKeyStorm(kKeys, 5ms));
  // Let the game work through the keys until it has said nothing new for
  // 4 s (the fanfare is the longest silence).
  ASSERT_NO_FATAL_FAILURE(waitUntilQuiet(4s));
  ASSERT_NO_FATAL_FAILURE(cursor = promptAfterStorm());
  // The storm's Enters sent guesses of their own.
  guessByHalving(cursor, 1, 100, 0, false);
  sayNoAndExpectTheEnd(cursor);
}

}  // namespace
}  // namespace pelliwick::e2e
