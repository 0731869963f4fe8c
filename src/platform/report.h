#pragma once

#include <atomic>
#include <cstdio>
#include <string_view>

namespace pelliwick {

// What a backend has to tell whoever watches the terminal: a sound device
// that came back, a library's warning. Backends only report; how a line is
// written, and where, is the program's to decide.
class Reporter {
 public:
  virtual ~Reporter() = default;
  // One line, without its end; may be called from any thread.
  virtual void report(std::string_view line) = 0;
};

namespace detail {
inline std::atomic<Reporter*>& installedReporter() {
  static std::atomic<Reporter*> installed{nullptr};
  return installed;
}
}  // namespace detail

// The program installs its reporter before any backend starts and takes it
// away (nullptr) before it ends.
inline void setReporter(Reporter* reporter) {
  detail::installedReporter() = reporter;
}

// Until a reporter is installed, as in a backend's own tests, the line goes
// to stderr as it stands.
inline void report(std::string_view line) {
  if (Reporter* reporter = detail::installedReporter()) {
    reporter->report(line);
    return;
  }
  std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace pelliwick
