// The pieces of a storm of keys that the Linux and the Windows program are
// both put through: the keys, the wait for the game to catch up, the way
// back to a fresh entry, and a guess typed in.
#include <random>
#include <thread>

#include "e2e_support.h"

namespace pelliwick::e2e {

using namespace std::chrono_literals;

void EndToEnd::sendKeyStorm(int count, std::chrono::milliseconds delay,
                            const std::function<void(int sent)>& afterBatch) {
  // Raw X keycodes of a whole keyboard (keypad ± included), but not the
  // two that answer no at the play-again question, n and the keypad's
  // decimal point: the game has to last the storm. The same keys each run.
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> keycode(10, 135);
  std::vector<std::string> batch = {"xdotool", "key", "--delay",
                                    std::to_string(delay.count())};
  for (int sent = 0; sent < count;) {
    const int code = keycode(random);
    if (code == 57 || code == 91) continue;
    batch.push_back(std::to_string(code));
    ++sent;
    if (batch.size() == 4 + 100 || sent == count) {
      runTool(batch, 60s);
      ASSERT_FALSE(game_.poll()) << "the game ended\n" << gameReport();
      batch.resize(4);
      if (afterBatch) afterBatch(sent);
      if (HasFatalFailure()) return;
    }
  }
}

void EndToEnd::waitUntilQuiet(std::chrono::milliseconds quiet) {
  std::size_t said = 0;
  auto quietSince = std::chrono::steady_clock::now();
  const auto deadline = quietSince + 120s;
  while (std::chrono::steady_clock::now() - quietSince < quiet) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << gameReport();
    ASSERT_FALSE(game_.poll()) << "the game ended\n" << gameReport();
    const std::size_t now = readSpeechLog(speechLog_).size();
    if (now != said) {
      said = now;
      quietSince = std::chrono::steady_clock::now();
    }
    std::this_thread::sleep_for(100ms);
  }
}

std::size_t EndToEnd::promptAfterStorm() {
  // Whatever state the storm left (a line entry, the rate adjuster, nested
  // voice choosers, the play-again question): Enter leaves the adjuster,
  // the y's leave the choosers, and F1 then starts the entry afresh.
  std::vector<std::string> reset = {"xdotool", "key", "--delay", "50",
                                    "Return"};
  for (int i = 0; i < 8; ++i) reset.push_back("y");
  runTool(reset);
  waitUntilQuiet(4s);
  const std::size_t cursor = readSpeechLog(speechLog_).size();
  key("F1");
  return waitForSpeech({kPrompt}, cursor) + 1;
}

std::string EndToEnd::answerTo(int guess, std::size_t& cursor) {
  // Let the line entry start its key wait before typing.
  std::this_thread::sleep_for(150ms);
  std::vector<std::string> typing = {"xdotool", "key", "--delay", "50"};
  for (char digit : std::to_string(guess)) typing.emplace_back(1, digit);
  typing.push_back("Return");
  runTool(typing);
  cursor = waitForSpeech({kTooLow, kTooHigh, kRight}, cursor);
  return trimmed(speechAt(cursor++).text);
}

}  // namespace pelliwick::e2e
