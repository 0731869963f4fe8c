#pragma once

#include <exception>
#include <string>

#include "app/stderr_reporter.h"
#include "platform/failure.h"

namespace pelliwick::app {

// Runs `body` for the status the program ends with; a failure is reported
// in one line on stderr and ends it with 1.
template <class Body>
int reported(Body body) {
  try {
    return body();
  } catch (const Failure& failure) {
    writeReportLine(std::string("cannot start: ") + failure.what());
  } catch (const ProgramClosed&) {
    // Closed before the game could catch it: still an orderly end.
    return 0;
  } catch (const std::exception& error) {
    writeReportLine(error.what());
  }
  return 1;
}

}  // namespace pelliwick::app
