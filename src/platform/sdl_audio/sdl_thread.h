#pragma once

#include <functional>

namespace pelliwick {

// Runs `work` on a detached thread that nobody waits for, as the SDL calls
// that wait for the sound server need. On a thread of SDL's own: SDL frees
// what it keeps per thread (the text of its last error) only when one of
// its threads ends.
void runDetached(const char* name, std::function<void()> work);

}  // namespace pelliwick
