#pragma once

#include <string>

namespace pelliwick::e2e {

// One line of a speech log, as the game's preloaded logger on Linux and the
// test voice under Wine both write it: "<stamp> <kind> <value>\n", the
// value's line breaks and backslashes escaped so that it stays one line.
inline std::string speechLogLine(const std::string& stamp, const char* kind,
                                 const std::string& value) {
  std::string line = stamp + ' ' + kind + ' ';
  for (char c : value) {
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\\') {
      line += "\\\\";
    } else {
      line += c;
    }
  }
  return line + '\n';
}

}  // namespace pelliwick::e2e
