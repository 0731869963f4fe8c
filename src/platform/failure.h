#pragma once

#include <stdexcept>
#include <string>

namespace pelliwick {

// The one exception a failing platform call raises. Only the game flow
// catches it, one action at a time.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised by the event pump when the player closes the window or the process
// is asked to stop. It is deliberately not a Failure, so that the game flow's
// guards let it through and the program shuts down at once.
class ProgramClosed : public std::exception {
 public:
  const char* what() const noexcept override { return "the window was closed"; }
};

}  // namespace pelliwick
