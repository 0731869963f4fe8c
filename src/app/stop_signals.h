#pragma once

#include <signal.h>

#include <array>
#include <functional>
#include <thread>

namespace pelliwick::app {

// SIGINT, SIGTERM, SIGHUP and SIGQUIT end the game as closing its window
// does. A signal lands on whichever thread does not block it, so a main
// thread asleep in a wait would not see it. Instead the program blocks them
// in every thread and a watcher thread reads them.
inline constexpr std::array<int, 4> kStopSignals = {SIGINT, SIGTERM, SIGHUP,
                                                    SIGQUIT};

// Blocks them in the calling thread and in every thread it starts from then
// on. Call first thing in main, before any thread exists.
void blockStopSignals();

// Reads the blocked signals for as long as it lives and calls `onStop`, on
// its own thread, for each one. Throws Failure when they cannot be watched.
class StopSignalWatcher {
 public:
  using OnStop = std::function<void(int signal)>;

  explicit StopSignalWatcher(OnStop onStop);
  ~StopSignalWatcher();
  StopSignalWatcher(const StopSignalWatcher&) = delete;
  StopSignalWatcher& operator=(const StopSignalWatcher&) = delete;

 private:
  void watch();

  OnStop onStop_;
  int signalFd_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;
};

}  // namespace pelliwick::app
