#pragma once

#include <functional>

namespace pelliwick::espeak {

// espeak-ng writes a few warnings straight to the standard error, for
// instance "Full dictionary is not installed for 'be'" whenever it loads a
// voice whose dictionary is partial. Runs `call` with the standard error
// going into a pipe, then reports each distinct line that came once, as
// "espeak-ng: ...". Lines the program itself wrote meanwhile (from another
// thread) are passed on as they were.
// Throws Failure when the standard error cannot be redirected.
void withWarningsAsOwnLines(const std::function<void()>& call);

}  // namespace pelliwick::espeak
