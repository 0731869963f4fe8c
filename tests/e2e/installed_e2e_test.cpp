// The program as a player installs it: the tree the install rules make, and
// the installed game reaching the guess prompt with its start cue found in
// the data folder.
#include <algorithm>

#include "e2e_support.h"

namespace pelliwick::e2e {
namespace {

const fs::path kPrefix = PELLIWICK_PREFIX;

TEST(InstalledTree, HoldsTheGameAndNothingElse) {
  std::vector<std::string> installed;
  for (const auto& entry : fs::recursive_directory_iterator(kPrefix)) {
    if (!entry.is_directory()) {
      installed.push_back(entry.path().lexically_relative(kPrefix).string());
    }
  }
  std::sort(installed.begin(), installed.end());
  // Test programs and build leftovers would show up here too.
  const std::vector<std::string> expected = {
      "games/pelliwick",
      "share/applications/pelliwick.desktop",
      "share/doc/pelliwick/README.md",
      "share/doc/pelliwick/changelog.gz",
      "share/doc/pelliwick/copyright",
      "share/games/pelliwick/ding.wav",
      "share/games/pelliwick/dong.wav",
      "share/games/pelliwick/wild.wav",
      "share/icons/hicolor/scalable/apps/pelliwick.svg",
      "share/man/man6/pelliwick.6.gz",
      "share/metainfo/example.pelliwick.Pelliwick.metainfo.xml",
  };
  EXPECT_EQ(installed, expected);
  EXPECT_EQ(access((kPrefix / "games/pelliwick").c_str(), X_OK), 0);
}

class InstalledGame : public EndToEnd {
 protected:
  InstalledGame() { binary_ = kPrefix / "games/pelliwick"; }
};

TEST_F(InstalledGame, ReachesThePromptAndEndsOnClose) {
  startXvfb();
  startGame(gameEnvironment());
  const std::size_t title = waitForSpeech({kTitle}, 0);
  const auto audioAtTitle = audioBytes();
  waitForSpeech({kPrompt}, title);
  sendWindowClose(findGameWindow());
  expectCleanExit(10s);

  // The start cue plays before the title: silence means the game did not
  // find its cues in the data folder.
  const auto audio = readAudio(audioFile_);
  ASSERT_FALSE(audio.empty());
  const std::size_t width = readFile(audioFile_).size() / audio.size();
  EXPECT_GT(peak(audio, 0, audioAtTitle, width), 0.02)
      << "the start cue was silent\n"
      << gameReport();
}

}  // namespace
}  // namespace pelliwick::e2e
