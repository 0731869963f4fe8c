#include "app/process_settings.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/failure.h"

namespace pelliwick::app {
namespace {

sigset_t startMask;
struct sigaction startPipeAction;
ChildMustEnd childMustEnd = nullptr;

// The program's one handler in the child right after a fork: only
// async-signal-safe calls.
void prepareChild() {
  sigaction(SIGPIPE, &startPipeAction, nullptr);
  pthread_sigmask(SIG_SETMASK, &startMask, nullptr);
  if (childMustEnd != nullptr && childMustEnd()) _exit(1);
}

bool isSocket(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

}  // namespace

void restoreSignalsInChildren(ChildMustEnd mustEnd) {
  childMustEnd = mustEnd;
  if (pthread_sigmask(SIG_SETMASK, nullptr, &startMask) != 0 ||
      sigaction(SIGPIPE, nullptr, &startPipeAction) != 0 ||
      pthread_atfork(nullptr, nullptr, prepareChild) != 0) {
    throw Failure("cannot prepare the signals of child processes");
  }
}

void ignoreBrokenPipes() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (sigaction(SIGPIPE, &ignore, nullptr) != 0) {
    throw Failure("cannot ignore SIGPIPE");
  }
}

std::optional<std::string> sessionBusAddress(const char* current,
                                             const char* runtimeDir,
                                             bool busSocketExists) {
  if (current != nullptr && *current != '\0') return std::nullopt;
  // Where libdbus itself looks next, before it autolaunches.
  if (runtimeDir != nullptr && *runtimeDir != '\0' && busSocketExists) {
    return "unix:path=" + std::string(runtimeDir) + "/bus";
  }
  return "disabled:";
}

void preventBusAutolaunch() {
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  const auto address = sessionBusAddress(
      std::getenv("DBUS_SESSION_BUS_ADDRESS"), runtimeDir,
      runtimeDir != nullptr && isSocket(std::string(runtimeDir) + "/bus"));
  if (address && setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1) != 0) {
    throw Failure("cannot set DBUS_SESSION_BUS_ADDRESS");
  }
}

}  // namespace pelliwick::app
