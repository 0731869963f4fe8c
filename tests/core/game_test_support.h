#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "game/form1.h"

namespace pelliwick::testing {

// Checks that `expected` appear in `timeline` in this order, other entries
// allowed in between.
inline ::testing::AssertionResult InOrder(
    const std::vector<std::string>& timeline,
    const std::vector<std::string>& expected) {
  std::size_t at = 0;
  for (const std::string& entry : expected) {
    while (at < timeline.size() && timeline[at] != entry) ++at;
    if (at == timeline.size()) {
      return ::testing::AssertionFailure()
             << "missing, or out of order: \"" << entry << "\"";
    }
    ++at;
  }
  return ::testing::AssertionSuccess();
}

// Checks that `expected` stand in `timeline` one right after the other.
inline ::testing::AssertionResult Consecutive(
    const std::vector<std::string>& timeline,
    const std::vector<std::string>& expected) {
  auto found = std::search(timeline.begin(), timeline.end(), expected.begin(),
                           expected.end());
  if (found == timeline.end()) {
    return ::testing::AssertionFailure()
           << "not found as a run, starting with \"" << expected.front()
           << "\"";
  }
  return ::testing::AssertionSuccess();
}

constexpr const wchar_t* kPrompt =
    L" Enter your guess, a number between 0 and 100 ";

// A game window over fresh test doubles.
class GameTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  std::unique_ptr<Form1> form = std::make_unique<Form1>(fake.platform());

  // Runs the whole game; it must end through the script, not by running
  // out of keys.
  void playGame() {
    form->Form_Load();
    EXPECT_FALSE(fake.ranOutOfKeys()) << "the game waited for more keys";
  }

  // A window with its voice and sound device, as after start-up.
  void startDevices() {
    form->openSoundDevice();
    form->createVoice();
    form->voicecount = fake.voices;
    form->selectVoice(0);
    fake.timeline.clear();
  }

  std::vector<std::wstring> texts(unsigned flags) const {
    std::vector<std::wstring> found;
    for (const Utterance& u : fake.utterances) {
      if (u.flags == flags) found.push_back(u.text);
    }
    return found;
  }
};

}  // namespace pelliwick::testing
