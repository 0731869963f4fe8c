#include "server_kit.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/blocking/blocking_worker.h"

extern char** environ;

namespace pelliwick::test_servers {

ScratchFolder::ScratchFolder(const std::string& name) {
  std::string pattern = "/tmp/pelliwick-" + name + "-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

std::string missingProgram(std::initializer_list<const char*> programs) {
  for (const char* program : programs) {
    const std::string check =
        "command -v " + std::string(program) + " >/dev/null";
    if (std::system(check.c_str()) != 0) return program;
  }
  return {};
}

pid_t startServer(const std::vector<std::string>& argv, const fs::path& output,
                  const std::optional<std::vector<std::string>>& environment) {
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (auto& arg : args) argp.push_back(arg.data());
  argp.push_back(nullptr);
  std::vector<std::string> entries =
      environment.value_or(std::vector<std::string>{});
  std::vector<char*> envp;
  for (auto& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!output.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  pid_t pid = -1;
  const int status = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(),
                                  environment ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  return status == 0 ? pid : -1;
}

bool waitUntil(const std::function<bool()>& ready,
               std::chrono::milliseconds limit,
               const std::function<bool()>& ended,
               std::chrono::milliseconds every) {
  const auto readyAfter = [&](std::chrono::milliseconds slice) {
    if (ready()) return true;
    std::this_thread::sleep_for(slice);
    return ready();
  };
  // Asked every `every`, so that the slices stay that short.
  const auto gone = [&] { return ended && ended(); };
  return waitAsking(readyAfter, limit, gone, every) ==
         BlockingWorker::Outcome::Done;
}

bool hasEnded(pid_t& pid) {
  if (pid <= 0 || waitpid(pid, nullptr, WNOHANG) != pid) return pid <= 0;
  pid = -1;
  return true;
}

namespace {

sockaddr_un addressOf(const fs::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  return address;
}

}  // namespace

int connectTo(const fs::path& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = addressOf(path);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address),
              sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool takesClients(const fs::path& path) {
  const int fd = connectTo(path);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

int listenAt(const fs::path& path, int backlog) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = addressOf(path);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
          0 ||
      listen(fd, backlog) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::vector<pid_t> childrenOf(pid_t parent) {
  std::vector<pid_t> result;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    pid_t ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 &&
        ppid == parent) {
      result.push_back(std::stoi(name));
    }
  }
  return result;
}

void stopServer(pid_t& pid, int signal) {
  if (pid <= 0) return;
  for (pid_t child : childrenOf(pid)) ::kill(child, signal);
  ::kill(pid, signal);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace pelliwick::test_servers
