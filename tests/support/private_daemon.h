#pragma once

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server_kit.h"

namespace pelliwick::speechd::test {

// A speech-dispatcher of the test's own: its own configuration and socket,
// the espeak-ng module, audio to ALSA's null device. SPEECHD_ADDRESS points
// at it while it lives.
class PrivateDaemon {
 public:
  enum class Modules {
    kEspeakNg,  // the espeak-ng module alone
    // espeak-ng once more under another module name, whose voices the
    // link lists (it leaves out espeak-ng's)
    kSecondEspeakNg,
    // Debian's own configuration: every module installed
    kDebian,
    // A generic module alone, which writes each message it is given to
    // said() and then takes `speaking` seconds to end it
    kLogged,
    // kLogged, then espeak-ng under another name, as kSecondEspeakNg
    kLoggedAndSecond,
  };
  explicit PrivateDaemon(Modules modules = Modules::kEspeakNg,
                         double speaking = 0);
  ~PrivateDaemon();

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  const std::string& why() const { return why_; }  // when not running

  void kill();   // SIGKILL, daemon and module
  void start();  // again, on the same socket
  // SIGSTOP, or SIGCONT, on the synthesiser module, or on the daemon.
  void pauseModule(bool paused);
  void pause(bool paused);
  std::string address() const { return "unix_socket:" + socket_.string(); }
  std::string socketPath() const { return socket_; }

  // What the kLogged module was given so far, in order: when (seconds of
  // the system clock) and the text.
  struct Said {
    double time = 0;
    std::string text;
  };
  std::vector<Said> said() const;
  static double systemNow();

 private:
  test_servers::ScratchFolder folder_;
  std::filesystem::path socket_;
  std::size_t modules_ = 1;
  pid_t pid_ = -1;
  std::string why_;
};

// A socket of the test's own, which accepts connections and then answers
// `reply` to anything, or nothing when it is empty: something at
// speech-dispatcher's address that is not speech-dispatcher.
class ForeignServer {
 public:
  explicit ForeignServer(std::string reply);
  ~ForeignServer();
  std::string address() const { return "unix_socket:" + path_; }

 private:
  void answer();
  std::string reply_;
  test_servers::ScratchFolder folder_;
  std::string path_;
  int listener_ = -1;
  std::thread thread_;
};

// Between the program and a daemon: passes everything on, except that it
// refuses the first `refusals` requests that start with `command`, as a
// daemon that refuses a request, and is still there, answers.
class RefusingProxy {
 public:
  RefusingProxy(std::string daemonSocket, std::string command, int refusals);
  ~RefusingProxy();
  std::string address() const { return "unix_socket:" + path_; }
  int refused() const { return refused_; }

 private:
  void accept();
  void toDaemon(int client, int daemon, std::mutex& replies);
  void toClient(int daemon, int client, std::mutex& replies);
  std::string daemonSocket_;
  std::string command_;
  std::atomic<int> refusalsLeft_;
  std::atomic<int> refused_{0};
  test_servers::ScratchFolder folder_;
  std::string path_;
  int listener_ = -1;
  std::mutex mutex_;
  std::vector<int> sockets_;
  std::vector<std::thread> threads_;
  std::list<std::mutex> replyMutexes_;
};

}  // namespace pelliwick::speechd::test
