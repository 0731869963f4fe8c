#pragma once

namespace pelliwick::sdl_window {

// SDL wakes its waiting event loop by sending an event to the game window
// over a second X connection. When the window closes at that moment, the
// event can reach the server after the window is gone. The server's
// complaint is harmless, but it is only read as SDL shuts down, and Xlib's
// default handler would then end the program with status 1. Call before
// the video subsystem starts: SDL keeps the handler it finds and puts it
// back when it closes its connections.
void ignoreStaleWakeupErrors();

}  // namespace pelliwick::sdl_window
