// The whole program played as a player would: a game to the farewell, the
// delay from a key to its echo, the no-voice message box, and the ways it
// ends early.
#include "e2e_support.h"

namespace pelliwick::e2e {
namespace {

TEST_F(EndToEnd, WholeGameByBinarySearch) {
  startXvfb();
  startGame(gameEnvironment());
  const std::size_t title = waitForSpeech({kTitle}, 0);
  const auto audioAtTitle = audioBytes();
  const std::string window = findGameWindow();
  runTool({"xdotool", "windowfocus", "--sync", window});
  std::size_t prompt = waitForSpeech({kPrompt}, title);
  const auto audioAtPrompt = audioBytes();

  std::vector<double> echoAfterSent;
  std::vector<double> echoAfterStart;
  std::size_t cursor = prompt + 1;
  auto typeAndHear = [&](const std::string& keyName, const std::string& echo) {
    const auto [start, sent] = key(keyName);
    cursor = waitForSpeech({echo}, cursor, 10s);
    const double heard = speechAt(cursor).time;
    echoAfterStart.push_back(heard - start);
    echoAfterSent.push_back(heard - sent);
    ++cursor;
  };

  int low = 1;
  int high = 100;
  int guesses = 0;
  int guess = 0;
  std::uintmax_t audioAtFirstEnter = 0;
  std::uintmax_t audioAtFirstFeedback = 0;
  for (;;) {
    ASSERT_LE(low, high) << "the feedback contradicts itself\n" << gameReport();
    ASSERT_LT(guesses, 7) << "a binary search needs at most 7 guesses";
    guess = (low + high) / 2;
    // Let the line entry start its key wait before typing.
    std::this_thread::sleep_for(150ms);
    if (guesses == 0) {
      // Auto-repeats reach the game: F1 held for a second (repeats start
      // after 660 ms, every 40 ms) restarts the entry again and again.
      runTool({"xdotool", "keydown", "F1"});
      std::this_thread::sleep_for(1200ms);
      runTool({"xdotool", "keyup", "F1"});
      for (int restart = 0; restart < 4; ++restart) {
        cursor = waitForSpeech({kPrompt}, cursor, 10s) + 1;
      }
      std::this_thread::sleep_for(150ms);
      // The keypad 3 (a raw keycode: its keysym would toggle Num Lock)
      // types "c"; Backspace says the removed "c" again.
      typeAndHear("89", "c");
      typeAndHear("BackSpace", "c");
    }
    for (char digit : std::to_string(guess)) {
      typeAndHear(std::string(1, digit), std::string(1, digit));
    }
    if (guesses == 0) {
      // Let the last echo end, so that what follows Enter is the cue.
      std::this_thread::sleep_for(600ms);
      audioAtFirstEnter = audioBytes();
    }
    key("Return");
    ++guesses;
    const std::size_t feedback =
        waitForSpeech({kTooLow, kTooHigh, kRight}, cursor);
    const std::string said = trimmed(speechAt(feedback).text);
    if (guesses == 1) audioAtFirstFeedback = audioBytes();
    cursor = feedback + 1;
    if (said == trimmed(kRight)) break;
    if (said == trimmed(kTooLow)) {
      low = guess + 1;
    } else {
      high = guess - 1;
    }
    prompt = waitForSpeech({kPrompt}, cursor);
    cursor = prompt + 1;
  }

  cursor = waitForSpeech({" the number was  " + std::to_string(guess)}, cursor);
  cursor = waitForSpeech(
      {" it took you  " + std::to_string(guesses) + " guesses"}, cursor);
  waitForSpeech({kPlayAgain}, cursor);
  cursor = waitForSpeech({kPressYOrN}, cursor);
  std::this_thread::sleep_for(150ms);
  key("n");
  cursor = waitForSpeech({kThanks}, cursor);
  const double farewell = speechAt(cursor).time;
  cursor = waitForSpeech({kExiting}, cursor, 15s);
  expectCleanExit(15s);
  std::printf("from the farewell to the exit: %.2f s\n",
              monotonicNow() - farewell);

  std::printf(
      "key press to echo: median %.1f ms, worst %.1f ms after xdotool "
      "returned; median %.1f ms after it started (%zu keys)\n",
      1000 * median(echoAfterSent),
      1000 * *std::max_element(echoAfterSent.begin(), echoAfterSent.end()),
      1000 * median(echoAfterStart), echoAfterSent.size());

  // The disk driver writes at the pace of playing, so the file's size when
  // a sentence was sent marks where it begins.
  const auto audio = readAudio(audioFile_);
  const std::size_t width = readFile(audioFile_).size() / audio.size();
  const double startCue = peak(audio, 0, audioAtTitle, width);
  const double titleSpeech = peak(audio, audioAtTitle, audioAtPrompt, width);
  const double wrongGuess =
      peak(audio, audioAtFirstEnter, audioAtFirstFeedback, width);
  std::printf("peaks: start cue %.3f, title %.3f, first feedback cue %.3f\n",
              startCue, titleSpeech, wrongGuess);
  EXPECT_GT(startCue, 0.02) << "the start cue was silent";
  EXPECT_GT(titleSpeech, 0.02) << "the title was silent";
  if (guesses > 1) {
    EXPECT_GT(wrongGuess, 0.02) << "the wrong-guess cue was silent";
  }
}

// Figure: from a key press in silence to the first sound of its echo in
// what the mixer played. The disk driver writes at the pace of playing,
// so the file's size when the key is sent marks that moment.
TEST_F(EndToEnd, KeyToEchoDelayInTheMixersOutput) {
  startXvfb();
  startGame(gameEnvironment());
  std::size_t cursor = waitForSpeech({kTitle}, 0);
  runTool({"xdotool", "windowfocus", "--sync", findGameWindow()});
  cursor = waitForSpeech({kPrompt}, cursor);
  std::this_thread::sleep_for(4s);  // the prompt has been heard

  std::vector<std::size_t> pressedAt;
  for (const char* digit : {"1", "2", "3", "4", "5", "6"}) {
    pressedAt.push_back(audioBytes());
    key(digit);
    cursor = waitForSpeech({digit}, cursor) + 1;
    std::this_thread::sleep_for(700ms);  // the echo has ended
  }
  game_.signal(SIGTERM);
  expectCleanExit(10s);

  const auto audio = readAudio(audioFile_);
  const std::size_t width = readFile(audioFile_).size() / audio.size();
  const double bytesPerSecond = 2 * 44100.0 * static_cast<double>(width);
  std::vector<double> delays;
  for (std::size_t offset : pressedAt) {
    std::size_t i = offset / width;
    while (i < audio.size() && std::abs(audio[i]) < 0.01f) ++i;
    ASSERT_LT(i, audio.size()) << "an echo was silent";
    delays.push_back(static_cast<double>(i * width - offset) / bytesPerSecond);
  }
  std::printf(
      "key press to the echo's first sound: median %.0f ms, worst "
      "%.0f ms\n",
      1000 * median(delays),
      1000 * *std::max_element(delays.begin(), delays.end()));
  EXPECT_LT(median(delays), 0.25);
}

TEST_F(EndToEnd, WithoutVoicesTheMessageBoxEndsTheProgram) {
  startXvfb();
  Environment env = gameEnvironment();
  env["ESPEAK_DATA_PATH"] = voicelessEspeakData();
  auto findBox = [&] { return findMessageBox(); };

  // Closed by the player, or the program told to end while the box waits:
  // the program ends at once either way, and the box goes with it, even when
  // the program is killed (its process goes: see TearDown).
  const std::map<std::string, int> signals = {{"SIGTERM", SIGTERM},
                                              {"SIGINT", SIGINT},
                                              {"SIGHUP", SIGHUP},
                                              {"SIGQUIT", SIGQUIT},
                                              {"SIGKILL", SIGKILL}};
  for (const std::string how :
       {"Return in the box", "SIGTERM", "SIGINT", "SIGHUP", "SIGQUIT",
        "game window closed", "SIGKILL", "SIGTERM to the box's process"}) {
    SCOPED_TRACE(how);
    startGame(env);
    std::string box;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while ((box = findBox()).empty()) {
      ASSERT_FALSE(game_.poll()) << "no message box\n" << gameReport();
      ASSERT_LT(std::chrono::steady_clock::now(), deadline)
          << "no message box\n"
          << gameReport();
      std::this_thread::sleep_for(50ms);
    }
    const double start = monotonicNow();
    if (how == "Return in the box") {
      runTool({"xdotool", "windowfocus", "--sync", box, "key", "Return"});
    } else if (how == "game window closed") {
      sendWindowClose(findGameWindow());
    } else if (how == "SIGTERM to the box's process") {
      // Closed from outside, as a session manager may: as if by the player.
      const auto boxProcess = processesUnder(game_.pid());
      ASSERT_EQ(boxProcess.size(), 1u);
      ::kill(*boxProcess.begin(), SIGTERM);
    } else {
      game_.signal(signals.at(how));
    }
    if (how == "SIGKILL") {
      ASSERT_TRUE(game_.waitFor(15s));
    } else {
      expectCleanExit(15s);
    }
    const double took = monotonicNow() - start;
    std::printf("%s: ended after %.0f ms\n", how.c_str(), 1000 * took);
    // Ended by the game itself, not by its own death signal after the game
    // went: only a killed game leaves its box to be ended that way.
    if (how != "SIGKILL") {
      EXPECT_EQ(adoptedProcesses(), std::set<pid_t>{})
          << "the box's process outlived the program";
    }
    if (how != "Return in the box") {
      EXPECT_LT(took, 0.5);
      // The box's window goes with its process, which the X server notices.
      const auto gone = std::chrono::steady_clock::now() + 2s;
      while (!findBox().empty() && std::chrono::steady_clock::now() < gone) {
        std::this_thread::sleep_for(20ms);
      }
      EXPECT_EQ(findBox(), "") << "the box outlived the program";
    }
  }

  for (const auto& line : readSpeechLog(speechLog_)) {
    EXPECT_NE(line.kind, "synth") << "spoke [" << line.text << "]";
  }
  const auto audio = readAudio(audioFile_);
  EXPECT_EQ(peak(audio, 0, audio.size() * sizeof(float), sizeof(float)), 0.0)
      << "a sound was played";
}

TEST_F(EndToEnd, SigtermAndClosingTheWindowEndTheGame) {
  startXvfb();
  Environment env = gameEnvironment();
  // In the sanitizer build the leak check at exit alone takes about 0.3 s;
  // the other tests check for leaks.
  if (env.count("ASAN_OPTIONS") != 0) env["ASAN_OPTIONS"] += ":detect_leaks=0";
  // At a key wait, and while the title is being spoken to its end.
  for (const std::string& during : {kPrompt, kTitle}) {
    for (const bool byWindowManager : {false, true}) {
      const std::string how = byWindowManager ? "window closed" : "SIGTERM";
      SCOPED_TRACE(how + " during [" + during + "]");
      fs::remove(speechLog_);
      startGame(env);
      waitForSpeech({during}, 0);
      const std::string window = byWindowManager ? findGameWindow() : "";
      const double start = monotonicNow();
      if (byWindowManager) {
        sendWindowClose(window);
      } else {
        game_.signal(SIGTERM);
      }
      expectCleanExit(10s);
      const double took = monotonicNow() - start;
      std::printf("%s during [%s]: ended after %.0f ms\n", how.c_str(),
                  during.c_str(), 1000 * took);
      // The title alone takes about 1.5 s to say, and the end does not wait
      // for it: about 45 ms here, and well under half a second even in the
      // sanitizer build.
      EXPECT_LT(took, 0.5);
    }
  }
}

TEST_F(EndToEnd, StartupFailuresPrintOneLineAndExitOne) {
  auto expectOneLineFailure = [&](const Environment& env) {
    startGame(env);
    const auto status = game_.waitFor(30s);
    ASSERT_TRUE(status) << "the game did not end\n" << gameReport();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1)
        << describeStatus(*status);
    const std::string error = readFile(dir_ / "game.err");
    EXPECT_EQ(error.rfind("pelliwick: cannot start: ", 0), 0u) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
    std::printf("reported: %s", error.c_str());
  };
  {
    SCOPED_TRACE("no display");
    Environment env = gameEnvironment();
    env.erase("DISPLAY");
    expectOneLineFailure(env);
  }
  // libwayland would print an error of its own first.
  for (const auto& [name, value] :
       {std::pair{"DISPLAY", ":4719"}, {"WAYLAND_DISPLAY", "wayland-0"}}) {
    SCOPED_TRACE(std::string("no display but ") + name +
                 ", no XDG_RUNTIME_DIR");
    Environment env = gameEnvironment();
    env.erase("DISPLAY");
    env.erase("XDG_RUNTIME_DIR");
    env[name] = value;
    expectOneLineFailure(env);
  }
  {
    SCOPED_TRACE("no audio device");
    startXvfb();
    Environment env = gameEnvironment();
    env["SDL_AUDIODRIVER"] = "no-such-driver";
    expectOneLineFailure(env);
  }
}

}  // namespace
}  // namespace pelliwick::e2e
