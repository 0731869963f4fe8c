#pragma once

#include <thread>

namespace pelliwick::sdl_window {

// SIGINT and SIGTERM end the game as closing its window does. A signal lands
// on whichever thread does not block it, so a main thread asleep in a wait
// would not see it (SDL's own handler only notes it for the next pump).
// Instead the program blocks both in every thread and a watcher thread turns
// each into an SDL_QUIT event, which wakes the waiting main thread.

// Blocks both in the calling thread and in every thread it starts from then
// on. Call first thing in main, before any thread exists.
void blockStopSignals();

// Whether one of them has arrived while a watcher was running.
bool stopSignalled();

// Reads the blocked signals for as long as it lives. SDL's event queue must
// be running from its construction to its destruction. Throws Failure when
// the signals cannot be watched.
class StopSignalWatcher {
 public:
  StopSignalWatcher();
  ~StopSignalWatcher();
  StopSignalWatcher(const StopSignalWatcher&) = delete;
  StopSignalWatcher& operator=(const StopSignalWatcher&) = delete;

 private:
  void watch();

  int signalFd_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;
};

}  // namespace pelliwick::sdl_window
