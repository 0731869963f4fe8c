// pelliwick.exe under Wine as a player meets it: the no-voice box with
// Wine's own SAPI, a whole game with the test voice, F4 and Ctrl, and the
// window closed while it speaks (timed beside a bare Win32 window). Each
// prints its figures.
#include <map>
#include <thread>

#include "wine_game.h"

namespace pelliwick::e2e {
namespace {

// The last line of `kind` before line `index`.
std::string lastBefore(const std::vector<SpeechLine>& lines, std::size_t index,
                       const std::string& kind) {
  for (std::size_t i = index; i-- > 0;) {
    if (lines[i].kind == kind) return lines[i].text;
  }
  return {};
}

std::uintmax_t sizeOr0(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : size;
}

TEST_F(WineEndToEnd, WinesOwnSapiSpeaksNothingSoTheNoVoiceBoxShows) {
  startWine(Sapi::Wine);
  if (IsSkipped() || HasFatalFailure()) return;
  Environment env = wineEnvironment();
  env["WINEDEBUG"] = "-all,trace+msgbox";
  startProgram(env);
  const std::string box = waitForBox(60s);
  ASSERT_NE(box, "") << "no box captioned " << kNoVoiceCaption << "\n"
                     << gameReport();
  EXPECT_NE(readFile(dir_ / "game.err").find(kNoVoiceTrace), std::string::npos)
      << gameReport();
  const double start = monotonicNow();
  runTool({"xdotool", "windowfocus", "--sync", box, "key", "Return"});
  expectCleanExit(15s);
  std::printf("OK in the no-voice box to the end: %.0f ms\n",
              1000 * (monotonicNow() - start));
}

TEST_F(WineEndToEnd, WholeGameWithTheTestVoice) {
  startWine(Sapi::TestVoice);
  if (IsSkipped() || HasFatalFailure()) return;
  Environment env = wineEnvironment();
  env["WINEDEBUG"] = "-all,trace+dsound";
  const double started = realtimeNow();
  startProgram(env);
  double startCue = 0;
  while (cuePlays() == 0 && !game_.poll() && realtimeNow() - started < 30) {
    std::this_thread::sleep_for(2ms);
  }
  startCue = realtimeNow() - started;
  std::size_t cursor = waitForSpeech({kTitle}, 0);
  const double title = speechAt(cursor).time - started;
  EXPECT_GE(cuePlays(), 1) << "no start cue before the title";
  runTool({"xdotool", "windowfocus", "--sync", findGameWindow()});
  cursor = waitForSpeech({kPrompt}, cursor) + 1;

  // Echoes, Backspace's included, timed from the key to the voice's Speak.
  std::vector<double> echoCalls;
  auto typeAndHear = [&](const std::string& keyName, const std::string& echo) {
    const double before = realtimeNow();
    key(keyName);
    cursor = waitForEcho(echo, cursor);
    // The Speak call that handed the echo over.
    const auto lines = readSpeechLog(speechLog_);
    for (std::size_t i = cursor; i-- > 0 && lines[i].time >= before;) {
      if (lines[i].kind == "speak" &&
          lines[i].text.find(echo) != std::string::npos) {
        echoCalls.push_back(lines[i].time - before);
        break;
      }
    }
    ++cursor;
  };
  std::this_thread::sleep_for(150ms);
  for (const char* digit : {"1", "2", "3"}) typeAndHear(digit, digit);
  for (const char* removed : {"3", "2", "1"}) typeAndHear("BackSpace", removed);
  // 0 is too low for any number, 100 too high for all but one.
  typeAndHear("0", "0");
  const int playsBeforeEnter = cuePlays();
  key("Return");
  cursor = waitForSpeech({kTooLow}, cursor) + 1;
  EXPECT_GT(cuePlays(), playsBeforeEnter) << "no cue for a wrong guess";
  cursor = waitForSpeech({kPrompt}, cursor) + 1;
  std::this_thread::sleep_for(150ms);
  runTool({"xdotool", "key", "--delay", "50", "1", "0", "0", "Return"});
  cursor = waitForSpeech({kTooHigh, kRight}, cursor);
  int guesses = 2;
  if (trimmed(speechAt(cursor).text) == trimmed(kTooHigh)) {
    cursor = waitForSpeech({kPrompt}, cursor + 1) + 1;
    guesses = guessByHalving(cursor, 1, 99, 2);
  } else {
    cursor = waitForSpeech({" the number was  100"}, cursor);
  }
  // The start cue, a cue per wrong guess, and the fanfare's five.
  EXPECT_GE(cuePlays(), 1 + (guesses - 1) + 5) << gameReport();
  sayNoAndExpectTheEnd(cursor);

  ASSERT_FALSE(echoCalls.empty());
  std::printf(
      "start to the start cue's Play: %.0f ms; to the title's synth "
      "%.0f ms\n",
      1000 * startCue, 1000 * title);
  std::printf(
      "key to the echo's Speak call: median %.1f ms, worst %.1f ms "
      "(%zu keys)\n",
      1000 * median(echoCalls),
      1000 * *std::max_element(echoCalls.begin(), echoCalls.end()),
      echoCalls.size());
  std::printf("pelliwick.exe: %ju bytes in the build (with symbols)\n",
              sizeOr0(binary_));
  std::error_code noPackages;
  for (const auto& entry : fs::directory_iterator(
           fs::path(PELLIWICK_SOURCE_DIR) / "build-windows-package",
           noPackages)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("pelliwick-", 0) == 0) {
      std::printf("%s: %ju bytes\n", name.c_str(), sizeOr0(entry.path()));
    }
  }
}

TEST_F(WineEndToEnd, F4WalksTheTestVoicesAndCtrlChangesTheRate) {
  startWine(Sapi::TestVoice);
  if (IsSkipped() || HasFatalFailure()) return;
  startProgram(wineEnvironment());
  std::size_t cursor = waitForSpeech({kTitle}, 0);
  runTool({"xdotool", "windowfocus", "--sync", findGameWindow()});
  cursor = waitForSpeech({kPrompt}, cursor);
  waitForLine(
      "done",
      [](const std::string& text) { return trimmed(text) == trimmed(kPrompt); },
      cursor);

  // Waiting at a prompt costs no CPU. Wine's DirectSound mixes and its ALSA
  // driver ticks on threads of their own (named wine...) whatever the game
  // does: they are counted apart from the game's own threads.
  std::this_thread::sleep_for(1s);
  const std::string proc = "/proc/" + std::to_string(game_.pid());
  auto threadCpu = [&] {
    std::map<std::string, double> seconds;  // "wine" and "game"
    for (const auto& task : fs::directory_iterator(proc + "/task")) {
      const std::string name = trimmed(readFile(task.path() / "comm"));
      const std::string who = name.rfind("wine", 0) == 0 ? "wine" : "game";
      seconds[who] += cpuSeconds(task.path().string());
    }
    return seconds;
  };
  auto before = threadCpu();
  const double wallBefore = monotonicNow();
  std::this_thread::sleep_for(10s);
  auto after = threadCpu();
  const double wall = monotonicNow() - wallBefore;
  const double game = (after["game"] - before["game"]) / wall;
  const double wine = (after["wine"] - before["wine"]) / wall;
  std::printf(
      "idle at a prompt: the game's threads %.2f%% of a core, Wine's own "
      "(DirectSound mixer, ALSA timer) %.2f%%\n",
      100 * game, 100 * wine);
  EXPECT_LT(game, 0.003) << "waiting at a prompt should cost nothing";

  const std::string question = "do you want to use this voice";
  key("F4");
  const std::size_t firstQuestion = waitForSpeech({question}, cursor);
  cursor = waitForSpeech({" no "}, firstQuestion);
  key("n");
  const std::size_t secondQuestion = waitForSpeech({question}, cursor);
  auto lines = readSpeechLog(speechLog_);
  const std::string firstVoice = lastBefore(lines, firstQuestion, "voice");
  const std::string secondVoice = lastBefore(lines, secondQuestion, "voice");
  EXPECT_NE(firstVoice.find("Pelliwick Test Voice"), std::string::npos)
      << gameReport();
  EXPECT_NE(firstVoice, secondVoice) << gameReport();
  cursor = waitForSpeech({" no "}, secondQuestion);
  key("y");
  cursor = waitForSpeech({kPrompt}, cursor);
  const std::string promptRate =
      lastBefore(readSpeechLog(speechLog_), cursor, "rate");

  std::this_thread::sleep_for(300ms);
  key("Control_L");
  cursor = waitForSpeech(
      {"to adjust the speech rate, use the arrow keys and then press enter"},
      cursor);
  // Numbers are spelled, as the echoes are.
  cursor = waitForEcho("0", cursor);
  for (const char* said : {"1", "2", "3"}) {
    key("Up");
    cursor = waitForEcho(said, cursor);
  }
  key("Return");
  cursor = waitForSpeech({kPrompt}, cursor);
  lines = readSpeechLog(speechLog_);
  const std::string fastRate = lastBefore(lines, cursor, "rate");
  ASSERT_FALSE(fastRate.empty()) << gameReport();
  EXPECT_GT(std::stoi(fastRate), promptRate.empty() ? 0 : std::stoi(promptRate))
      << gameReport();
  EXPECT_EQ(lastBefore(lines, cursor, "voice"), secondVoice);

  sendWindowClose(findGameWindow());
  expectCleanExit(15s);
}

TEST_F(WineEndToEnd, ClosingTheWindowSilencesTheSpeechAtOnceAndEnds) {
  startWine(Sapi::TestVoice);
  if (IsSkipped() || HasFatalFailure()) return;
  Environment env = wineEnvironment();
  // The title takes about 4 s to say.
  env["PELLIWICK_TEST_VOICE_MS_PER_CHAR"] = "200";
  startProgram(env);
  const std::size_t title = waitForSpeech({kTitle}, 0);
  const std::string window = findGameWindow();
  std::this_thread::sleep_for(300ms);
  const double closed = realtimeNow();
  sendWindowClose(window);
  expectCleanExit(15s);
  const double gameClose = realtimeNow() - closed;
  const auto lines = readSpeechLog(speechLog_);
  bool purged = false;
  for (std::size_t i = title; i < lines.size(); ++i) {
    if (lines[i].kind == "purged") purged = true;
    EXPECT_FALSE(lines[i].kind == "done" &&
                 trimmed(lines[i].text) == trimmed(kTitle))
        << "the title was spoken to its end\n"
        << gameReport();
    EXPECT_FALSE(lines[i].kind == "synth" && i > title)
        << "spoke on after the close: " << lines[i].text;
  }
  EXPECT_TRUE(purged) << "the speech was not cut\n" << gameReport();

  // The same close for a window that does nothing else, under the same Wine.
  const fs::path bare = windowsBuild_ / "bin" / "pelliwick_bare_window.exe";
  ASSERT_TRUE(fs::exists(bare)) << bare;
  startProgram(wineEnvironment(), bare);
  const std::string found =
      runTool({"xdotool", "search", "--sync", "--onlyvisible", "--name",
               "^BareWindow$"});
  const double bareClosed = realtimeNow();
  sendWindowClose(found.substr(0, found.find('\n')));
  expectCleanExit(15s);
  const double bareClose = realtimeNow() - bareClosed;
  std::printf(
      "window closed while speaking to the end: %.0f ms (a bare Win32 "
      "window: %.0f ms)\n",
      1000 * gameClose, 1000 * bareClose);
  // Wine takes its time to close any window: the game may add little to it.
  EXPECT_LT(gameClose, bareClose + 1.0);
}

}  // namespace
}  // namespace pelliwick::e2e
