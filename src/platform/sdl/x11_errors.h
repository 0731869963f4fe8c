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

// Ends the program; must not return.
using EndProgram = void (*)();

// When the X server goes away, the game reports one line, "the display was
// lost: ...", and `end` ends it, instead of Xlib's own lines and exit; a
// child forked from the game (the message box's process) ends without the
// line. Call before the video subsystem starts: SDL passes the connection's
// loss on to the handler it found.
void endOnLostDisplay(EndProgram end);

}  // namespace pelliwick::sdl_window
