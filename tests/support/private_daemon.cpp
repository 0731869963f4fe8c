#include "private_daemon.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

namespace pelliwick::speechd::test {

using test_servers::childrenOf;

PrivateDaemon::PrivateDaemon(Modules modules, double speaking)
    : folder_("speechd") {
  if (folder_.empty()) {
    why_ = "no temporary folder";
    return;
  }
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
  // A killed daemon leaves its socket behind: ready means a new one.
  std::error_code ignored;
  std::filesystem::remove(socket_, ignored);
  pid_ = test_servers::startServer(args);
  if (pid_ < 0) {
    why_ = "cannot start speech-dispatcher";
    return;
  }
  setenv("SPEECHD_ADDRESS", address().c_str(), 1);
  // Ready once its socket exists and its module has started.
  const auto ready = [this] {
    return std::filesystem::exists(socket_) &&
           childrenOf(pid_).size() >= modules_;
  };
  if (!test_servers::waitUntil(ready, std::chrono::seconds(10))) {
    why_ = "speech-dispatcher did not start within 10 s";
    kill();
  }
}

PrivateDaemon::~PrivateDaemon() {
  kill();
  unsetenv("SPEECHD_ADDRESS");
}

void PrivateDaemon::kill() { test_servers::stopServer(pid_); }

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

ForeignServer::ForeignServer(std::string reply)
    : reply_(std::move(reply)),
      folder_("foreign"),
      path_((folder_ / "socket").string()),
      listener_(test_servers::listenAt(path_, 4)) {
  if (!reply_.empty()) thread_ = std::thread([this] { answer(); });
}

ForeignServer::~ForeignServer() {
  shutdown(listener_, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  close(listener_);
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

// What `fd` has, added to `pending`; false once it has ended.
bool readMore(int fd, std::string& pending) {
  char buffer[4096];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got <= 0) return false;
  pending.append(buffer, static_cast<std::size_t>(got));
  return true;
}

}  // namespace

RefusingProxy::RefusingProxy(std::string daemonSocket, std::string command,
                             int refusals)
    : daemonSocket_(std::move(daemonSocket)),
      command_(std::move(command)),
      refusalsLeft_(refusals),
      folder_("proxy"),
      path_((folder_ / "socket").string()),
      listener_(test_servers::listenAt(path_, 8)) {
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
}

void RefusingProxy::accept() {
  for (;;) {
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    const int daemon = test_servers::connectTo(daemonSocket_);
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
  while (readMore(client, pending)) {
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
  while (readMore(daemon, pending)) {
    const auto end = pending.rfind('\n');
    if (end == std::string::npos) continue;
    std::lock_guard lock(replies);
    if (!writeAll(client, pending.substr(0, end + 1))) break;
    pending.erase(0, end + 1);
  }
  shutdown(client, SHUT_WR);
}

}  // namespace pelliwick::speechd::test
