// Turns what espeak-ng prints on the standard error into the program's own
// lines, each once. Deliberately ignored: a warning longer than a pipe
// holds (64 KiB) loses its end.
#include "platform/espeak/library_warnings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/failure.h"
#include "platform/report.h"

namespace pelliwick::espeak {

namespace {

void check(int status, const char* what) {
  if (status < 0) {
    throw Failure(std::string("cannot catch espeak-ng's warnings: ") + what +
                  ": " + std::strerror(errno));
  }
}

void printOnce(const std::string& caught) {
  static std::mutex mutex;
  static std::set<std::string> printed;
  std::lock_guard lock(mutex);
  std::size_t start = 0;
  while (start < caught.size()) {
    std::size_t end = caught.find('\n', start);
    if (end == std::string::npos) end = caught.size();
    const std::string line = caught.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    if (line.rfind("pelliwick:", 0) == 0) {
      // The program's own line, already written as it wants it: given back
      // as it came.
      std::fprintf(stderr, "%s\n", line.c_str());
    } else if (printed.insert(line).second) {
      report("espeak-ng: " + line);
    }
  }
}

}  // namespace

void withWarningsAsOwnLines(const std::function<void()>& call) {
  int ends[2];
  // Non-blocking: a library that writes more than the pipe holds must not
  // hang on it.
  check(pipe2(ends, O_CLOEXEC | O_NONBLOCK), "pipe");
  const int saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (saved < 0 || dup2(ends[1], 2) < 0) {
    const int error = errno;
    if (saved >= 0) close(saved);
    close(ends[0]);
    close(ends[1]);
    errno = error;
    check(-1, "dup");
  }
  close(ends[1]);
  auto restore = [&] {
    dup2(saved, 2);
    close(saved);
  };
  try {
    call();
  } catch (...) {
    restore();
    close(ends[0]);
    throw;
  }
  restore();
  std::string caught;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(ends[0], buffer, sizeof buffer);
    if (got <= 0) break;
    caught.append(buffer, static_cast<std::size_t>(got));
  }
  close(ends[0]);
  printOnce(caught);
}

}  // namespace pelliwick::espeak
