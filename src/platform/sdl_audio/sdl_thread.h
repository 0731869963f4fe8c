#pragma once

#include "platform/blocking/blocking_worker.h"

namespace pelliwick {

// Starts a worker's thread as one of SDL's own, named `name`, that nobody
// joins: SDL frees what it keeps per thread (the text of its last error) only
// when one of its threads ends. Throws Failure when SDL cannot make it.
BlockingWorker::ThreadStarter sdlThread(const char* name);

}  // namespace pelliwick
