#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "platform/brlapi/braille_line.h"

namespace pelliwick::braille {

// One connection to the braille service, as the display's worker uses it.
// Every call may wait for the service; a call that fails throws Failure,
// and the connection is then of no further use.
class Connection {
 public:
  virtual ~Connection() = default;

  // The display's width in cells.
  virtual std::size_t columns() = 0;
  // Readable when keys came, or when the service went away.
  virtual int fileDescriptor() = 0;

  // Takes the display from the screen reader, and gives it back.
  virtual void takeDisplay() = 0;
  virtual void giveBack() = 0;

  virtual void write(const Window& window) = 0;
  // The panning keys pressed since the last call, without waiting.
  virtual std::vector<Pan> readPans() = 0;
};

// Opens a connection, or throws Failure.
using Connect = std::function<std::unique_ptr<Connection>()>;

}  // namespace pelliwick::braille
