#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

#include "server_kit.h"

namespace pelliwick::e2e {

// A PulseAudio server of the caller's own: a null sink, its socket in a
// scratch folder, anonymous clients. The daemon refuses to run as root, so
// it runs as nobody (which needs root to arrange). It stays down until
// start().
class PrivatePulse {
 public:
  PrivatePulse();
  ~PrivatePulse();

  // Empty when the server can run here; otherwise why not.
  const std::string& whyNot() const { return whyNot_; }

  // Starts the server and waits until it takes clients; false (with
  // whyNot()) when it did not within 10 s.
  bool start();
  void kill();               // SIGKILL, as a crash would
  void freeze(bool frozen);  // SIGSTOP or SIGCONT
  pid_t pid() const { return pid_; }

  // For PULSE_SERVER and parec's --server.
  std::string address() const { return "unix:" + socket_.string(); }
  const std::filesystem::path& socketPath() const { return socket_; }
  static constexpr const char* kMonitor = "nullsink.monitor";

 private:
  // Made only where the server can run.
  std::optional<test_servers::ScratchFolder> folder_;
  std::filesystem::path socket_;
  pid_t pid_ = -1;
  std::string whyNot_;
};

}  // namespace pelliwick::e2e
