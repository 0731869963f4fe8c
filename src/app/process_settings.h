#pragma once

#include <optional>
#include <string>

namespace pelliwick::app {

// The process-wide settings the game needs, made once at the start of main,
// before any thread exists.

// Asked in the child right after every fork (only async-signal-safe
// calls): true when the child is to end at once.
using ChildMustEnd = bool (*)();

// Every child forked from then on (the message box's process, a helper a
// library runs) starts with the signal mask and the SIGPIPE disposition the
// program was started with: a child that inherited the blocked stop signals
// could be ended by SIGKILL only. Then, when `mustEnd` says so, the child
// ends with status 1. Call before changing either, and once.
void restoreSignalsInChildren(ChildMustEnd mustEnd = nullptr);

// A write to a closed socket (a speech server that went away) fails the
// call with EPIPE instead of ending the program.
void ignoreBrokenPipes();

// The session bus address libdbus is to use when the environment names
// none, given XDG_RUNTIME_DIR (or nullptr) and whether a socket named "bus"
// exists there. Without a bus it would start a daemon of its own that
// outlives the program, so "disabled:" instead; nothing the game uses needs
// the bus. Empty when the environment names one already.
std::optional<std::string> sessionBusAddress(const char* current,
                                             const char* runtimeDir,
                                             bool busSocketExists);

// Sets DBUS_SESSION_BUS_ADDRESS as above. Before SDL starts its video.
void preventBusAutolaunch();

}  // namespace pelliwick::app
