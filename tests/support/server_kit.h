// What every private server of the tests and the bench does alike: a scratch
// folder of its own, a process started with its output in a file, a bounded
// wait until it serves, and a stop that leaves none of its processes behind.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace pelliwick::test_servers {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// /tmp/pelliwick-NAME-XXXXXX, removed with all it holds. Empty when it could
// not be made.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool empty() const { return path_.empty(); }
  const fs::path& path() const { return path_; }
  fs::path operator/(const fs::path& name) const { return path_ / name; }
  std::string string() const { return path_.string(); }

 private:
  fs::path path_;
};

// The first of `programs` that is not on PATH, or empty.
std::string missingProgram(std::initializer_list<const char*> programs);

// Starts argv[0], found on PATH, with its output and errors in `output`
// (empty: the caller's own) and `environment` (none: the caller's own).
// -1 when it cannot start.
pid_t startServer(
    const std::vector<std::string>& argv, const fs::path& output = "/dev/null",
    const std::optional<std::vector<std::string>>& environment = std::nullopt);

// Waits until `ready` holds, asking every `every`. False when `limit` runs
// out first, or as soon as `ended` (when set) says the server has gone.
bool waitUntil(const std::function<bool()>& ready,
               std::chrono::milliseconds limit,
               const std::function<bool()>& ended = {},
               std::chrono::milliseconds every = 20ms);

// Whether `pid` has ended; reaped then, and set to -1.
bool hasEnded(pid_t& pid);

// A connected socket, or -1 when nobody listens at `path`.
int connectTo(const fs::path& path);
bool takesClients(const fs::path& path);
// A socket listening at `path`, or -1.
int listenAt(const fs::path& path, int backlog);

// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> childrenOf(pid_t parent);

// Sends `signal` to the server's children (its modules, a service its bus
// started), then to the server, and reaps it. `pid` becomes -1; nothing
// happens when it already is.
void stopServer(pid_t& pid, int signal = SIGKILL);

}  // namespace pelliwick::test_servers
