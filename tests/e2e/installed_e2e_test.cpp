// The program as a player installs it: the tree the install rules make, and
// the game started through its link in bin, reaching the guess prompt with
// its start cue found beside the real executable.
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
      "bin/pelliwick",
      "games/pelliwick",
      "lib/pelliwick/ding.wav",
      "lib/pelliwick/dong.wav",
      "lib/pelliwick/pelliwick",
      "lib/pelliwick/wild.wav",
      "share/applications/pelliwick.desktop",
      "share/doc/pelliwick/README.md",
      "share/doc/pelliwick/changelog.gz",
      "share/doc/pelliwick/copyright",
      "share/icons/hicolor/scalable/apps/pelliwick.svg",
      "share/man/man6/pelliwick.6.gz",
      "share/metainfo/example.pelliwick.Pelliwick.metainfo.xml",
  };
  EXPECT_EQ(installed, expected);

  // Relative, so that the tree can be moved or unpacked anywhere.
  for (const char* name : {"bin/pelliwick", "games/pelliwick"}) {
    SCOPED_TRACE(name);
    const fs::path link = kPrefix / name;
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "../lib/pelliwick/pelliwick");
    EXPECT_EQ(access(link.c_str(), X_OK), 0);
  }
}

TEST_F(EndToEnd, InstalledGameReachesThePromptAndEndsOnClose) {
  startXvfb();
  startGame(gameEnvironment());
  const std::size_t title = waitForSpeech({kTitle}, 0);
  const auto audioAtTitle = audioBytes();
  waitForSpeech({kPrompt}, title);
  sendWindowClose(findGameWindow());
  expectCleanExit(10s);

  // The start cue plays before the title: silence means the game did not
  // find its cues beside the executable the link leads to.
  const auto audio = readAudio(audioFile_);
  ASSERT_FALSE(audio.empty());
  const std::size_t width = readFile(audioFile_).size() / audio.size();
  EXPECT_GT(peak(audio, 0, audioAtTitle, width), 0.02)
      << "the start cue was silent\n"
      << gameReport();
}

}  // namespace
}  // namespace pelliwick::e2e
