#include "private_pipewire.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace pelliwick::bench {

namespace fs = std::filesystem;

namespace {

constexpr char kNullSink[] = R"(context.objects = [
  { factory = adapter
    args = { factory.name = support.null-audio-sink node.name = nullsink
             media.class = Audio/Sink audio.position = [ FL FR ]
             object.linger = true } }
]
)";

bool waitFor(const fs::path& path) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

PrivatePipeWire::PrivatePipeWire() {
  for (const char* program :
       {"pipewire", "pipewire-pulse", "wireplumber", "dbus-daemon"}) {
    const std::string check =
        "command -v " + std::string(program) + " >/dev/null";
    if (std::system(check.c_str()) != 0) {
      whyNot_ = std::string(program) +
                " is missing (Debian packages pipewire pipewire-pulse "
                "wireplumber)";
      return;
    }
  }
  char pattern[] = "/tmp/pelliwick-pipewire-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    whyNot_ = "no temporary folder";
    return;
  }
  folder_ = pattern;
  const fs::path conf = folder_ / "conf";
  fs::create_directories(conf / "pipewire/pipewire.conf.d");
  fs::create_directories(conf / "wireplumber/main.lua.d");
  fs::create_directories(conf / "wireplumber/bluetooth.lua.d");
  fs::create_directories(folder_ / "run");
  fs::create_directories(folder_ / "home");
  fs::permissions(folder_ / "run", fs::perms::owner_all);
  std::ofstream(conf / "pipewire/pipewire.conf.d/10-null-sink.conf")
      << kNullSink;
  // Below 90, where the monitors are enabled. The bluez one needs an
  // inotify instance, of which root has few.
  std::ofstream(conf / "wireplumber/main.lua.d/80-no-hardware.lua")
      << "alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\n"
         "libcamera_monitor.enabled = false\n";
  std::ofstream(conf / "wireplumber/bluetooth.lua.d/80-no-bluez.lua")
      << "bluez_monitor.enabled = false\n";
  const std::string bus = "unix:path=" + (folder_ / "bus").string();
  environment_ = {"HOME=" + (folder_ / "home").string(),
                  "XDG_CONFIG_HOME=" + conf.string(),
                  "XDG_RUNTIME_DIR=" + runtimeFolder(),
                  "DBUS_SESSION_BUS_ADDRESS=" + bus, "PATH=/usr/bin:/bin"};
  const std::string address = "--address=" + bus;
  bus_ = spawn("dbus-daemon --session --nofork --nopidfile " + address, "bus");
  if (!waitFor(folder_ / "bus")) whyNot_ = "no session bus";
  pipewire_ = spawn("pipewire", "pipewire");
  if (whyNot_.empty() && !waitFor(folder_ / "run/pipewire-0")) {
    whyNot_ = "pipewire did not start";
  }
  wireplumber_ = spawn("wireplumber", "wireplumber");
  pulse_ = spawn("pipewire-pulse", "pipewire-pulse");
  if (whyNot_.empty() && !waitFor(folder_ / "run/pulse/native")) {
    whyNot_ = "pipewire-pulse did not start";
  }
  // WirePlumber links the sink a moment after it starts.
  std::this_thread::sleep_for(std::chrono::seconds(1));
}

PrivatePipeWire::~PrivatePipeWire() {
  for (pid_t pid : {pulse_, wireplumber_, pipewire_, bus_}) {
    if (pid <= 0) continue;
    ::kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  std::error_code ignored;
  if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

std::string PrivatePipeWire::pulseAddress() const {
  return "unix:" + (folder_ / "run/pulse/native").string();
}

pid_t PrivatePipeWire::spawn(const std::string& command,
                             const std::string& log) {
  std::vector<std::string> args;
  for (std::size_t start = 0; start < command.size();) {
    const auto end = command.find(' ', start);
    args.push_back(command.substr(start, end - start));
    start = end == std::string::npos ? command.size() : end + 1;
  }
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& entry : environment_) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const std::string logFile = (folder_ / (log + ".log")).string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                   envp.data()) != 0) {
    pid = -1;
    if (whyNot_.empty()) whyNot_ = "cannot start " + args[0];
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace pelliwick::bench
