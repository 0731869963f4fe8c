#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pelliwick::app {

// Ends the process with the status it was about to end with once a time
// limit has passed, unless disarmed first: the orderly end must not hang on
// a frozen sound server or a library stuck in a call. It says so on stderr
// when it does, since the status alone cannot tell that end from a clean one.
class ExitWatchdog {
 public:
  using End = std::function<void(int status)>;
  using Clock = std::chrono::steady_clock;

  // `end` runs on the watchdog's thread; the program's own ends the process.
  // The line goes to `reportFd` just before.
  explicit ExitWatchdog(End end, int reportFd = 2);
  ~ExitWatchdog();
  ExitWatchdog(const ExitWatchdog&) = delete;
  ExitWatchdog& operator=(const ExitWatchdog&) = delete;

  // From any thread. A second call keeps the earlier deadline but takes the
  // newer status, as the caller knows better by then how the end went.
  void arm(int status, std::chrono::milliseconds limit);
  // The teardown is done: whatever runs after it is not watched.
  void disarm();

 private:
  void watch();

  End end_;
  const int reportFd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Clock::time_point> deadline_;
  std::string report_;  // for the deadline that stands
  int status_ = 0;
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace pelliwick::app
