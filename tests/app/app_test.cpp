#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/exit_watchdog.h"
#include "app/process_settings.h"
#include "app/reported.h"
#include "app/stderr_reporter.h"
#include "app/stop_signals.h"
#include "platform/report.h"

namespace pelliwick::app {
namespace {

using namespace std::chrono_literals;

// A value one thread hands to another, waited for with a limit.
template <class T>
class Handover {
 public:
  void put(T value) {
    {
      std::lock_guard lock(mutex_);
      values_.push_back(value);
    }
    arrived_.notify_all();
  }
  std::optional<T> take(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, limit, [&] { return !values_.empty(); })) {
      return std::nullopt;
    }
    const T value = values_.front();
    values_.erase(values_.begin());
    return value;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<T> values_;
};

TEST(StopSignals, EachIsSeenByTheWatcherWhicheverThreadItIsSentTo) {
  blockStopSignals();
  Handover<int> seen;
  StopSignalWatcher watcher([&](int number) { seen.put(number); });
  for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(strsignal(number));
    // To the process: the kernel picks a thread that does not block it.
    ASSERT_EQ(kill(getpid(), number), 0);
    EXPECT_EQ(seen.take(1000ms), number);
  }
}

// What the watchdog has said so far on `fd` (non-blocking).
std::string said(int fd) {
  std::string text;
  char chunk[256];
  for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) {
    text.append(chunk, static_cast<std::size_t>(got));
  }
  return text;
}

TEST(ExitWatchdog, EndsWithTheLatestStatusAtTheEarliestDeadlineUnlessDisarmed) {
  int report[2];
  ASSERT_EQ(pipe2(report, O_NONBLOCK), 0);
  Handover<int> ended;
  ExitWatchdog watchdog([&](int status) { ended.put(status); }, report[1]);

  // One line, in the program's manner, each time it ends the program.
  watchdog.arm(3, 20ms);
  EXPECT_EQ(ended.take(2000ms), 3);
  EXPECT_EQ(said(report[0]),
            "pelliwick: the end took longer than 20 ms and was cut short\n");

  // Armed by a stop signal, then by the game's end with the status it
  // knows: the first deadline stands, with the second status.
  const auto start = ExitWatchdog::Clock::now();
  watchdog.arm(0, 50ms);
  watchdog.arm(1, 60000ms);
  EXPECT_EQ(ended.take(5000ms), 1);
  EXPECT_LT(ExitWatchdog::Clock::now() - start, 30000ms);
  EXPECT_EQ(said(report[0]),
            "pelliwick: the end took longer than 50 ms and was cut short\n");

  // The teardown finished in time: nothing ends, nothing is said.
  watchdog.arm(2, 100ms);
  watchdog.disarm();
  EXPECT_EQ(ended.take(400ms), std::nullopt);
  EXPECT_EQ(said(report[0]), "");
  close(report[0]);
  close(report[1]);
}

// Stderr goes into a pipe while one lives.
class CapturedStderr {
 public:
  CapturedStderr() {
    EXPECT_EQ(pipe2(pipe_, O_NONBLOCK), 0);
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(pipe_[1], STDERR_FILENO);
  }
  ~CapturedStderr() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    close(pipe_[0]);
    close(pipe_[1]);
  }
  // What was written since the last call.
  std::string said() { return app::said(pipe_[0]); }

 private:
  int pipe_[2] = {-1, -1};
  int saved_ = -1;
};

TEST(ReportingToStderr,
     BackendLinesGoOutWholeAsTheProgramsLinesWhileInstalled) {
  CapturedStderr captured;
  constexpr int kThreads = 4;
  constexpr int kLines = 100;
  {
    const ReportingToStderr reporting;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t] {
        for (int n = 0; n < kLines; ++n) {
          pelliwick::report("thread " + std::to_string(t) + " line " +
                            std::to_string(n) + "\r\nwhole");
        }
      });
    }
    for (auto& thread : threads) thread.join();
  }
  pelliwick::report("the reporter is gone");
  const std::string text = captured.said();

  std::vector<int> next(kThreads, 0);
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = text.substr(start, end - start);
    if (line == "the reporter is gone") {
      EXPECT_EQ(end + 1, text.size()) << "not the last line";
      continue;
    }
    int t = -1;
    int n = -1;
    char tail[16] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "pelliwick: thread %d line %d  %15s",
                          &t, &n, tail),
              3)
        << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(n, next[t]++) << line;
    EXPECT_EQ(line, "pelliwick: thread " + std::to_string(t) + " line " +
                        std::to_string(n) + "  whole");
  }
  EXPECT_EQ(start, text.size()) << "a line without its end";
  EXPECT_EQ(next, std::vector<int>(kThreads, kLines));
  EXPECT_NE(text.find("the reporter is gone\n"), std::string::npos);
}

TEST(Reported, EveryFailureIsOneLineOnStderrAndAClosedStartIsAnOrderlyEnd) {
  auto captured = std::make_optional<CapturedStderr>();
  const struct {
    std::function<int()> body;
    int status;
    std::string line;
  } cases[] = {
      {[] { return 5; }, 5, ""},
      {[]() -> int { throw pelliwick::Failure("no\nwindow\r\nhere"); }, 1,
       "pelliwick: cannot start: no window  here\n"},
      {[]() -> int { throw pelliwick::ProgramClosed(); }, 0, ""},
      {[]() -> int { throw std::runtime_error("out of\nmemory"); }, 1,
       "pelliwick: out of memory\n"},
  };
  std::vector<std::pair<int, std::string>> got;
  for (const auto& c : cases) {
    const int status = pelliwick::app::reported(c.body);
    got.emplace_back(status, captured->said());
  }
  captured.reset();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(got[i].first, cases[i].status) << i;
    EXPECT_EQ(got[i].second, cases[i].line) << i;
  }
}

TEST(SessionBus, AutolaunchIsPreventedOnlyWhereNoBusIsNamedOrFound) {
  struct Case {
    const char* current;
    const char* runtimeDir;
    bool busSocket;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"unix:path=/run/user/1000/bus", "/run/user/1000", true, std::nullopt},
      {"unix:path=/x", nullptr, false, std::nullopt},
      {nullptr, "/run/user/1000", true, "unix:path=/run/user/1000/bus"},
      {"", "/run/user/1000", true, "unix:path=/run/user/1000/bus"},
      {nullptr, "/run/user/1000", false, "disabled:"},
      {nullptr, nullptr, false, "disabled:"},
      {nullptr, "", true, "disabled:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.current ? c.current : "(unset)") + ", " +
                 (c.runtimeDir ? c.runtimeDir : "(unset)"));
    EXPECT_EQ(sessionBusAddress(c.current, c.runtimeDir, c.busSocket),
              c.expected);
  }
}

// What the backends' check answers in the child of a fork.
std::atomic<bool> childToEnd{false};

TEST(Children, StartWithTheSignalsTheProgramFoundNotTheOnesItSet) {
  sigset_t none;
  sigemptyset(&none);
  ASSERT_EQ(pthread_sigmask(SIG_SETMASK, &none, nullptr), 0);
  signal(SIGPIPE, SIG_DFL);
  restoreSignalsInChildren([] { return childToEnd.load(); });
  ignoreBrokenPipes();
  blockStopSignals();

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sigset_t mask;
    struct sigaction pipe {};
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    sigaction(SIGPIPE, nullptr, &pipe);
    int blocked = 0;
    for (const int number : kStopSignals) blocked += sigismember(&mask, number);
    _exit((blocked == 0 ? 0 : 1) | (pipe.sa_handler == SIG_DFL ? 0 : 2));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "the child blocks a stop signal";
  EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "the child ignores SIGPIPE";

  // A child the check says must end ends before it runs a line of its own.
  childToEnd = true;
  const pid_t ended = fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) _exit(7);
  childToEnd = false;
  ASSERT_EQ(waitpid(ended, &status, 0), ended);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;

  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  EXPECT_EQ(sigismember(&mask, SIGTERM), 1) << "the program's own mask";
  EXPECT_EQ(signal(SIGPIPE, SIG_IGN), SIG_IGN) << "the program's own SIGPIPE";
}

}  // namespace
}  // namespace pelliwick::app
