#pragma once

#include <string>
#include <string_view>

namespace pelliwick::app {

// One line, whatever the platform put in its message.
std::string oneLine(std::string text);

// The program's one form of a line on stderr: "pelliwick: ", `line` made
// one line, and the line's end.
std::string reportLine(std::string_view line);

// Writes reportLine(line) to stderr whole (lines from two threads never mix)
// and flushed.
void writeReportLine(std::string_view line);

// While one lives, every line a backend reports (report.h) is written as
// above. Made in main before any backend, gone after the last.
class ReportingToStderr {
 public:
  ReportingToStderr();
  ~ReportingToStderr();
  ReportingToStderr(const ReportingToStderr&) = delete;
  ReportingToStderr& operator=(const ReportingToStderr&) = delete;
};

}  // namespace pelliwick::app
