#pragma once

#include <cstdio>
#include <exception>
#include <string>

#include "failure.h"

namespace pelliwick::app {

// One line, whatever the platform put in its message.
inline std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// Runs `body` for the status the program ends with; a failure is reported
// in one line on stderr and ends it with 1.
template <class Body>
int reported(Body body) {
  try {
    return body();
  } catch (const Failure& failure) {
    std::fprintf(stderr, "pelliwick: cannot start: %s\n",
                 oneLine(failure.what()).c_str());
  } catch (const ProgramClosed&) {
    // Closed before the game could catch it: still an orderly end.
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pelliwick: %s\n", oneLine(error.what()).c_str());
  }
  std::fflush(stderr);
  return 1;
}

}  // namespace pelliwick::app
