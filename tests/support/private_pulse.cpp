#include "private_pulse.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace pelliwick::e2e {

namespace fs = std::filesystem;

PrivatePulse::PrivatePulse() {
  const std::string missing =
      test_servers::missingProgram({"pulseaudio", "parec", "setpriv"});
  if (!missing.empty()) {
    whyNot_ =
        missing + " is missing (Debian packages pulseaudio pulseaudio-utils)";
    return;
  }
  if (geteuid() != 0) {
    whyNot_ = "running the server as nobody needs root";
    return;
  }
  folder_.emplace("pulse");
  if (folder_->empty()) {
    whyNot_ = "no temporary folder";
    return;
  }
  socket_ = *folder_ / "run/pulse.sock";
  fs::create_directories(*folder_ / "home");
  fs::create_directories(*folder_ / "run");
  fs::permissions(folder_->path(),
                  fs::perms::owner_all | fs::perms::group_read |
                      fs::perms::group_exec | fs::perms::others_read |
                      fs::perms::others_exec);
  const std::string owner = "chown -R nobody:nogroup " + folder_->string();
  if (std::system(owner.c_str()) != 0) whyNot_ = "cannot hand the folder over";
}

PrivatePulse::~PrivatePulse() { kill(); }

bool PrivatePulse::start() {
  if (!whyNot_.empty()) return false;
  kill();
  const std::string dir = folder_->string();
  std::vector<std::string> args{
      "setpriv",
      "--reuid=nobody",
      "--regid=nogroup",
      "--clear-groups",
      "env",
      "-i",
      "HOME=" + dir + "/home",
      "XDG_RUNTIME_DIR=" + dir + "/run",
      "pulseaudio",
      "-n",
      "--daemonize=no",
      "--exit-idle-time=-1",
      "--system=false",
      "--disable-shm=yes",
      "--use-pid-file=false",
      "--log-target=file:" + dir + "/run/log",
      "-L",
      "module-null-sink sink_name=nullsink rate=48000",
      "-L",
      "module-native-protocol-unix socket=" + socket_.string() +
          " auth-anonymous=1",
      "-L",
      "module-always-sink"};
  // Its messages go to its log file; whatever comes before, to ours.
  pid_ = test_servers::startServer(args, "", std::vector<std::string>{});
  if (pid_ < 0) {
    whyNot_ = "cannot start pulseaudio";
    return false;
  }
  const bool started = test_servers::waitUntil(
      [this] { return test_servers::takesClients(socket_); },
      std::chrono::seconds(10), [this] { return test_servers::hasEnded(pid_); },
      std::chrono::milliseconds(10));
  if (!started) {
    whyNot_ = "pulseaudio did not start within 10 s";
    kill();
  }
  return started;
}

void PrivatePulse::kill() { test_servers::stopServer(pid_); }

void PrivatePulse::freeze(bool frozen) {
  if (pid_ > 0) ::kill(pid_, frozen ? SIGSTOP : SIGCONT);
}

}  // namespace pelliwick::e2e
