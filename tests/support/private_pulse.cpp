#include "private_pulse.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace pelliwick::e2e {

namespace fs = std::filesystem;

namespace {

bool onPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null").c_str()) == 0;
}

bool takesClients(const fs::path& socketPath) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(),
               sizeof address.sun_path - 1);
  const bool connected =
      connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

PrivatePulse::PrivatePulse() {
  for (const char* program : {"pulseaudio", "parec", "setpriv"}) {
    if (!onPath(program)) {
      whyNot_ = std::string(program) +
                " is missing (Debian packages pulseaudio pulseaudio-utils)";
      return;
    }
  }
  if (geteuid() != 0) {
    whyNot_ = "running the server as nobody needs root";
    return;
  }
  char pattern[] = "/tmp/pelliwick-pulse-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    whyNot_ = "no temporary folder";
    return;
  }
  folder_ = pattern;
  socket_ = folder_ / "run/pulse.sock";
  fs::create_directories(folder_ / "home");
  fs::create_directories(folder_ / "run");
  fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec);
  const std::string owner = "chown -R nobody:nogroup " + folder_.string();
  if (std::system(owner.c_str()) != 0) whyNot_ = "cannot hand the folder over";
}

PrivatePulse::~PrivatePulse() {
  kill();
  std::error_code ignored;
  if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

bool PrivatePulse::start() {
  if (!whyNot_.empty()) return false;
  kill();
  const std::string dir = folder_.string();
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
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  char* noEnvironment[] = {nullptr};
  if (posix_spawnp(&pid_, "setpriv", nullptr, nullptr, argv.data(),
                   noEnvironment) != 0) {
    pid_ = -1;
    whyNot_ = "cannot start pulseaudio";
    return false;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!takesClients(socket_)) {
    if (std::chrono::steady_clock::now() > deadline ||
        waitpid(pid_, nullptr, WNOHANG) == pid_) {
      whyNot_ = "pulseaudio did not start within 10 s";
      kill();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void PrivatePulse::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void PrivatePulse::freeze(bool frozen) {
  if (pid_ > 0) ::kill(pid_, frozen ? SIGSTOP : SIGCONT);
}

}  // namespace pelliwick::e2e
