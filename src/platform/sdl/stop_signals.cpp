#include "sdl/stop_signals.h"

#include <SDL.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

#include "failure.h"

namespace pelliwick::sdl_window {
namespace {

std::atomic<bool> signalled{false};

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

[[noreturn]] void failWithErrno(const std::string& what) {
  throw Failure(what + ": " + std::strerror(errno));
}

}  // namespace

void blockStopSignals() {
  const sigset_t set = stopSignals();
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
    throw Failure("cannot block SIGINT and SIGTERM");
  }
}

bool stopSignalled() { return signalled.load(); }

StopSignalWatcher::StopSignalWatcher() {
  const sigset_t set = stopSignals();
  // Only signals blocked in every thread stay pending for this descriptor;
  // where they are not blocked (the tests) it never reads one.
  signalFd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signalFd_ < 0) failWithErrno("cannot watch SIGINT and SIGTERM");
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    close(signalFd_);
    failWithErrno("cannot watch SIGINT and SIGTERM");
  }
  thread_ = std::thread([this] { watch(); });
}

StopSignalWatcher::~StopSignalWatcher() {
  const std::uint64_t one = 1;
  if (write(wakeFd_, &one, sizeof one) != sizeof one) {
    // Cannot happen with a fresh eventfd; the join below would then hang.
    std::terminate();
  }
  thread_.join();
  close(wakeFd_);
  close(signalFd_);
}

void StopSignalWatcher::watch() {
  pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    signalfd_siginfo info{};
    while (read(signalFd_, &info, sizeof info) == sizeof info) {
      signalled.store(true);
      SDL_Event quit{};
      quit.type = SDL_QUIT;
      SDL_PushEvent(&quit);
    }
  }
}

}  // namespace pelliwick::sdl_window
