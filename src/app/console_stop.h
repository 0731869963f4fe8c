#pragma once

#include <chrono>
#include <functional>

namespace pelliwick::app {

// Gives the program's reports a console to go to when it was started from
// one: a windowed program has none of its own, but may attach to its
// parent's. Does nothing when stderr already goes somewhere (a file, a
// pipe) or when there is no parent console.
void reportToParentConsole();

// Ctrl+C, Ctrl+Break and a close of the console the program is attached to
// end the game as a close of its window does. `onStop` runs on a thread of
// Windows' and must return at once. After a console close Windows ends the
// process once the handler returns, so the handler first gives the game
// `grace` to end on its own.
class ConsoleStopWatcher {
 public:
  using OnStop = std::function<void()>;

  ConsoleStopWatcher(OnStop onStop, std::chrono::milliseconds grace);
  // Waits for a handler that is running `onStop`.
  ~ConsoleStopWatcher();
  ConsoleStopWatcher(const ConsoleStopWatcher&) = delete;
  ConsoleStopWatcher& operator=(const ConsoleStopWatcher&) = delete;
};

}  // namespace pelliwick::app
