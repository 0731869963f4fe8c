#include "app/stderr_reporter.h"

#include <cstdio>

#include "platform/report.h"

namespace pelliwick::app {
namespace {

class StderrReporter final : public Reporter {
 public:
  void report(std::string_view line) override { writeReportLine(line); }
};

// Never destroyed: a thread left stuck in a library may still report while
// the program ends.
Reporter& stderrReporter() {
  static Reporter* const reporter = new StderrReporter;
  return *reporter;
}

}  // namespace

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::string reportLine(std::string_view line) {
  return "pelliwick: " + oneLine(std::string(line)) + "\n";
}

void writeReportLine(std::string_view line) {
  const std::string whole = reportLine(line);
  // One call: stdio holds the stream's lock through it, and stderr has no
  // buffer, so the line leaves in one write.
  std::fwrite(whole.data(), 1, whole.size(), stderr);
  std::fflush(stderr);
}

ReportingToStderr::ReportingToStderr() { setReporter(&stderrReporter()); }

ReportingToStderr::~ReportingToStderr() { setReporter(nullptr); }

}  // namespace pelliwick::app
