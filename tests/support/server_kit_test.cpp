#include "server_kit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace pelliwick::test_servers {
namespace {

// Still running: a zombie that nobody reaps does not count.
bool running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto close = line.rfind(')');
  return close != std::string::npos && line.at(close + 2) != 'Z';
}

std::string contents(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

TEST(ServerKit, StartsWithItsOwnOutputAndEnvironment) {
  ScratchFolder folder("kit");
  ASSERT_FALSE(folder.empty());
  pid_t pid = startServer({"sh", "-c", "echo out $ONLY; echo err >&2"},
                          folder / "log", std::vector<std::string>{"ONLY=1"});
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(waitUntil([&] { return hasEnded(pid); }, 5s));
  EXPECT_EQ(pid, -1);
  EXPECT_EQ(contents(folder / "log"), "out 1\nerr\n");
  EXPECT_EQ(startServer({"pelliwick-no-such-server"}), -1);
  EXPECT_EQ(missingProgram({"sh", "pelliwick-no-such-server", "ls"}),
            "pelliwick-no-such-server");
  EXPECT_EQ(missingProgram({"sh"}), "");
}

TEST(ServerKit, ScratchFolderGoesWithAllItHolds) {
  fs::path path;
  {
    ScratchFolder folder("kit");
    path = folder.path();
    fs::create_directories(folder / "a/b");
    std::ofstream(folder / "a/b/file") << "x";
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST(ServerKit, WaitEndsWhenReadyWhenTheServerGoesOrAtTheLimit) {
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] { return std::chrono::steady_clock::now() - start; };
  EXPECT_TRUE(waitUntil([&] { return elapsed() > 100ms; }, 5s));
  EXPECT_LT(elapsed(), 1s);
  const auto limited = std::chrono::steady_clock::now();
  EXPECT_FALSE(waitUntil([] { return false; }, 200ms));
  EXPECT_GE(std::chrono::steady_clock::now() - limited, 200ms);
  pid_t pid = startServer({"true"});
  const auto gone = std::chrono::steady_clock::now();
  EXPECT_FALSE(
      waitUntil([] { return false; }, 10s, [&] { return hasEnded(pid); }));
  EXPECT_LT(std::chrono::steady_clock::now() - gone, 2s);
}

TEST(ServerKit, SocketTakesClientsOnlyWhileListening) {
  ScratchFolder folder("kit");
  const fs::path path = folder / "socket";
  EXPECT_FALSE(takesClients(path));
  EXPECT_EQ(connectTo(path), -1);
  const int listener = listenAt(path, 1);
  ASSERT_GE(listener, 0);
  EXPECT_TRUE(takesClients(path));
  EXPECT_EQ(listenAt(path, 1), -1);  // taken
  close(listener);
  EXPECT_FALSE(takesClients(path));
}

TEST(ServerKit, StopLeavesNoneOfItsProcessesBehind) {
  pid_t pid = startServer({"sh", "-c", "sleep 60 & sleep 60 & wait"});
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(waitUntil([&] { return childrenOf(pid).size() == 2; }, 5s));
  const std::vector<pid_t> children = childrenOf(pid);
  stopServer(pid, SIGTERM);
  EXPECT_EQ(pid, -1);
  for (pid_t child : children) {
    EXPECT_TRUE(waitUntil([&] { return !running(child); }, 5s)) << child;
  }
  stopServer(pid);  // once stopped, again does nothing
}

}  // namespace
}  // namespace pelliwick::test_servers
