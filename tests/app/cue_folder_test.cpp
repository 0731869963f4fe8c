#include "app/cue_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

namespace pelliwick::app {
namespace {

namespace fs = std::filesystem;

TEST(CueFolder, TheDataFolderWhereInstalledElseBesideTheProgram) {
  char pattern[] = "/tmp/pelliwick-cues-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path root = pattern;
  fs::create_directories(root / "games");
  fs::create_directories(root / "share/games/pelliwick");
  fs::create_directories(root / "build/bin");
  std::ofstream(root / "build/share");  // a file, not a folder

  const struct {
    const char* what;
    fs::path program;
    fs::path data;
    fs::path expected;
  } cases[] = {
      {"installed", root / "games", "../share/games/pelliwick",
       root / "share/games/pelliwick"},
      {"a build tree", root / "build/bin", "../share/games/pelliwick",
       root / "build/bin"},
      {"an absolute data folder", root / "build/bin",
       root / "share/games/pelliwick", root / "share/games/pelliwick"},
      {"a missing absolute data folder", root / "games", root / "nowhere",
       root / "games"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cueFolder(c.program, c.data), c.expected) << c.what;
  }
  fs::remove_all(root);
}

}  // namespace
}  // namespace pelliwick::app
