#include "private_daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace pelliwick::speechd::test {

namespace {

// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> childrenOf(pid_t parent) {
  std::vector<pid_t> result;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
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

}  // namespace

PrivateDaemon::PrivateDaemon(Modules modules, double speaking) {
  char pattern[] = "/tmp/pelliwick-speechd-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    why_ = "no temporary folder";
    return;
  }
  folder_ = pattern;
  socket_ = folder_ / "socket";
  const auto conf = folder_ / "conf";
  std::filesystem::create_directories(folder_ / "log");
  std::error_code error;
  const bool logged =
      modules == Modules::kLogged || modules == Modules::kLoggedAndSecond;
  const bool second = modules == Modules::kSecondEspeakNg ||
                      modules == Modules::kLoggedAndSecond;
  if (logged) {
    std::filesystem::create_directories(conf / "modules");
    std::ofstream module(conf / "modules/logged.conf");
    // The module runs this through the shell, $DATA quoted.
    module << "GenericExecuteSynth \"echo $(date +%s.%N) \\'$DATA\\' >> "
           << (folder_ / "said").string() << "; sleep " << speaking << "\"\n"
           << "AddVoice \"en\" \"MALE1\" \"adam\"\n"
           << "GenericLanguage \"en\" \"en\" \"utf-8\"\n";
  } else if (modules == Modules::kDebian) {
    std::filesystem::copy("/etc/speech-dispatcher", conf,
                          std::filesystem::copy_options::recursive, error);
  } else {
    std::filesystem::create_directories(conf / "modules");
    std::filesystem::copy_file("/etc/speech-dispatcher/modules/espeak-ng.conf",
                               conf / "modules/espeak-ng.conf", error);
  }
  if (error) {
    why_ = "no speech-dispatcher configuration: " + error.message();
    return;
  }
  std::ofstream config(conf / "speechd.conf", std::ios::app);
  config << "\nAudioOutputMethod \"alsa\"\nAudioALSADevice \"null\"\n";
  if (modules == Modules::kDebian) {
    // Every module found: at least espeak-ng and the dummy one.
    modules_ = 2;
  } else if (logged) {
    config << "AddModule \"logged\" \"sd_generic\" \"logged.conf\"\n"
              "DefaultModule logged\n";
  } else {
    config << "AddModule \"espeak-ng\" \"sd_espeak-ng\" \"espeak-ng.conf\"\n"
              "DefaultModule espeak-ng\n";
  }
  if (second) {
    // The daemon loads a module once per program and configuration file.
    std::filesystem::copy_file("/etc/speech-dispatcher/modules/espeak-ng.conf",
                               conf / "modules/second.conf", error);
    config << "AddModule \"second\" \"sd_espeak-ng\" \"second.conf\"\n";
    modules_ = 2;
  }
  config.close();
  start();
}

void PrivateDaemon::start() {
  const std::string conf = folder_ / "conf";
  const std::string log = folder_ / "log";
  const std::string pidFile = folder_ / "pid";
  const std::string socket = socket_;
  // -t 10: it ends by itself 10 s after its last client, should a crashed
  // test leave it behind.
  std::vector<std::string> args{
      "speech-dispatcher", "-s", "-t", "10", "-l", "1", "-c", "unix_socket"};
  args.insert(args.end(), {"-S", socket, "-C", conf, "-P", pidFile, "-L", log});
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  // A killed daemon leaves its socket behind: ready means a new one.
  std::error_code ignored;
  std::filesystem::remove(socket_, ignored);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int status = posix_spawnp(&pid_, "speech-dispatcher", &actions, nullptr,
                                  argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (status != 0) {
    pid_ = -1;
    why_ = "cannot start speech-dispatcher";
    return;
  }
  setenv("SPEECHD_ADDRESS", address().c_str(), 1);
  // Ready once its socket exists and its module has started.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!std::filesystem::exists(socket_) ||
         childrenOf(pid_).size() < modules_) {
    if (std::chrono::steady_clock::now() > deadline) {
      why_ = "speech-dispatcher did not start within 10 s";
      kill();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

PrivateDaemon::~PrivateDaemon() {
  kill();
  unsetenv("SPEECHD_ADDRESS");
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

void PrivateDaemon::kill() {
  if (pid_ <= 0) return;
  for (pid_t child : childrenOf(pid_)) ::kill(child, SIGKILL);
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void PrivateDaemon::pause(bool paused) {
  if (pid_ > 0) ::kill(pid_, paused ? SIGSTOP : SIGCONT);
}

void PrivateDaemon::pauseModule(bool paused) {
  for (pid_t child : childrenOf(pid_)) {
    ::kill(child, paused ? SIGSTOP : SIGCONT);
  }
}

double PrivateDaemon::systemNow() {
  return std::chrono::duration<double>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::vector<PrivateDaemon::Said> PrivateDaemon::said() const {
  std::vector<Said> result;
  std::ifstream log(folder_ / "said");
  std::string line;
  while (std::getline(log, line)) {
    const auto blank = line.find(' ');
    if (blank == std::string::npos) continue;
    result.push_back(
        {std::atof(line.substr(0, blank).c_str()), line.substr(blank + 1)});
  }
  return result;
}

ForeignServer::ForeignServer(std::string reply) : reply_(std::move(reply)) {
  char folder[] = "/tmp/pelliwick-foreign-XXXXXX";
  folder_ = mkdtemp(folder) != nullptr ? folder : "/tmp";
  path_ = folder_ + "/socket";
  listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener_, 4);
  if (!reply_.empty()) thread_ = std::thread([this] { answer(); });
}

ForeignServer::~ForeignServer() {
  shutdown(listener_, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  close(listener_);
  unlink(path_.c_str());
  rmdir(folder_.c_str());
}

void ForeignServer::answer() {
  for (;;) {
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    char buffer[512];
    if (read(client, buffer, sizeof buffer) > 0) {
      (void)!write(client, reply_.data(), reply_.size());
    }
    close(client);
  }
}

namespace {

int connectTo(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t wrote =
        send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace

RefusingProxy::RefusingProxy(std::string daemonSocket, std::string command,
                             int refusals)
    : daemonSocket_(std::move(daemonSocket)),
      command_(std::move(command)),
      refusalsLeft_(refusals) {
  char folder[] = "/tmp/pelliwick-proxy-XXXXXX";
  folder_ = mkdtemp(folder) != nullptr ? folder : "/tmp";
  path_ = folder_ + "/socket";
  listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener_, 8);
  threads_.emplace_back([this] { accept(); });
}

RefusingProxy::~RefusingProxy() {
  shutdown(listener_, SHUT_RDWR);
  {
    std::lock_guard lock(mutex_);
    for (int fd : sockets_) shutdown(fd, SHUT_RDWR);
  }
  for (auto& thread : threads_) thread.join();
  for (int fd : sockets_) close(fd);
  close(listener_);
  unlink(path_.c_str());
  rmdir(folder_.c_str());
}

void RefusingProxy::accept() {
  for (;;) {
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    const int daemon = connectTo(daemonSocket_);
    std::lock_guard lock(mutex_);
    sockets_.push_back(client);
    if (daemon < 0) continue;
    sockets_.push_back(daemon);
    std::mutex& replies = replyMutexes_.emplace_back();
    threads_.emplace_back([this, client, daemon, &replies] {
      toDaemon(client, daemon, replies);
    });
    threads_.emplace_back([this, client, daemon, &replies] {
      toClient(daemon, client, replies);
    });
  }
}

void RefusingProxy::toDaemon(int client, int daemon, std::mutex& replies) {
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(client, buffer, sizeof buffer);
    if (got <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(got));
    for (auto end = pending.find('\n'); end != std::string::npos;
         end = pending.find('\n')) {
      const std::string line = pending.substr(0, end + 1);
      pending.erase(0, end + 1);
      if (line.rfind(command_, 0) == 0 && refusalsLeft_ > 0) {
        --refusalsLeft_;
        ++refused_;
        std::lock_guard lock(replies);
        writeAll(client, "500 ERR REFUSED BY THE TEST\r\n");
        continue;
      }
      if (!writeAll(daemon, line)) break;
    }
  }
  shutdown(daemon, SHUT_WR);
}

void RefusingProxy::toClient(int daemon, int client, std::mutex& replies) {
  // Whole lines only, so that a refusal never lands inside one.
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(daemon, buffer, sizeof buffer);
    if (got <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(got));
    const auto end = pending.rfind('\n');
    if (end == std::string::npos) continue;
    std::lock_guard lock(replies);
    if (!writeAll(client, pending.substr(0, end + 1))) break;
    pending.erase(0, end + 1);
  }
  shutdown(client, SHUT_WR);
}

}  // namespace pelliwick::speechd::test
