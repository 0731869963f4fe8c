#include "app/exit_watchdog.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "app/stderr_reporter.h"

namespace pelliwick::app {

ExitWatchdog::ExitWatchdog(End end, int reportFd)
    : end_(std::move(end)), reportFd_(reportFd), thread_([this] { watch(); }) {}

ExitWatchdog::~ExitWatchdog() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_one();
  thread_.join();
}

void ExitWatchdog::arm(int status, std::chrono::milliseconds limit) {
  {
    std::lock_guard lock(mutex_);
    const auto deadline = Clock::now() + limit;
    if (!deadline_ || deadline < *deadline_) {
      deadline_ = deadline;
      report_ =
          reportLine("the end took longer than " +
                     std::to_string(limit.count()) + " ms and was cut short");
    }
    status_ = status;
  }
  changed_.notify_one();
}

void ExitWatchdog::disarm() {
  {
    std::lock_guard lock(mutex_);
    deadline_.reset();
  }
  changed_.notify_one();
}

void ExitWatchdog::watch() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (closing_) return;
    if (!deadline_) {
      changed_.wait(lock);
    } else if (Clock::now() < *deadline_) {
      changed_.wait_until(lock, *deadline_);
    } else {
      // Called with the lock held, so that no disarm slips in after the
      // decision; the program's end does not return. write() takes no lock
      // that a stuck thread may hold, as stdio's would.
      [[maybe_unused]] const auto written =
          write(reportFd_, report_.data(), report_.size());
      end_(status_);
      deadline_.reset();
    }
  }
}

}  // namespace pelliwick::app
