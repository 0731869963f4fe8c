#pragma once

#include <memory>

#include "platform/brlapi/connection.h"

namespace pelliwick::braille {

// A connection to a running brltty through libbrlapi, at the host that
// BRLAPI_HOST names, with the authorisation BRLAPI_AUTH names (BrlAPI's own
// defaults when unset). Throws Failure when none answers. It may wait for a
// brltty that has stopped answering: call it where waiting holds nothing.
std::unique_ptr<Connection> connectToBrltty();

}  // namespace pelliwick::braille
