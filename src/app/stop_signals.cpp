#include "app/stop_signals.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "platform/failure.h"

namespace pelliwick::app {
namespace {

sigset_t stopSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int number : kStopSignals) sigaddset(&set, number);
  return set;
}

[[noreturn]] void failWithErrno(const std::string& what) {
  throw Failure(what + ": " + std::strerror(errno));
}

}  // namespace

void blockStopSignals() {
  const sigset_t set = stopSet();
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
    throw Failure("cannot block the stop signals");
  }
}

StopSignalWatcher::StopSignalWatcher(OnStop onStop)
    : onStop_(std::move(onStop)) {
  const sigset_t set = stopSet();
  // Only signals blocked in every thread stay pending for this descriptor.
  signalFd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signalFd_ < 0) failWithErrno("cannot watch the stop signals");
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    close(signalFd_);
    failWithErrno("cannot watch the stop signals");
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
      onStop_(static_cast<int>(info.ssi_signo));
    }
  }
}

}  // namespace pelliwick::app
