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

// When the X server goes away, the program prints one line,
// "pelliwick: the display was lost: ...", and ends at once with status 1,
// instead of Xlib's own lines. Call before the video subsystem starts: SDL
// passes the connection's loss on to the handler it found.
void endOnLostDisplay();

}  // namespace pelliwick::sdl_window
