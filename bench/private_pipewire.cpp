#include "private_pipewire.h"

#include <signal.h>

#include <chrono>
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
  return test_servers::waitUntil([&] { return fs::exists(path); },
                                 std::chrono::seconds(10));
}

}  // namespace

PrivatePipeWire::PrivatePipeWire() : folder_("pipewire") {
  const std::string missing = test_servers::missingProgram(
      {"pipewire", "pipewire-pulse", "wireplumber", "dbus-daemon"});
  if (!missing.empty()) {
    whyNot_ = missing +
              " is missing (Debian packages pipewire pipewire-pulse "
              "wireplumber)";
    return;
  }
  if (folder_.empty()) {
    whyNot_ = "no temporary folder";
    return;
  }
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
  for (pid_t* pid : {&pulse_, &wireplumber_, &pipewire_, &bus_}) {
    test_servers::stopServer(*pid, SIGTERM);
  }
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
  const pid_t pid =
      test_servers::startServer(args, folder_ / (log + ".log"), environment_);
  if (pid < 0 && whyNot_.empty()) whyNot_ = "cannot start " + args[0];
  return pid;
}

}  // namespace pelliwick::bench
