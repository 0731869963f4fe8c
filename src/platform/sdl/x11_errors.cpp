#include "sdl/x11_errors.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

namespace pelliwick::sdl_window {
namespace {

XErrorHandler previousHandler = nullptr;
pid_t gamePid = 0;
std::atomic<bool> displayLost{false};

int onXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) {
    return 0;
  }
  return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

void say(const char* text) {
  // Best effort: the program ends whatever stderr does.
  if (write(STDERR_FILENO, text, std::strlen(text)) < 0) return;
}

// Any thread may find the loss (the pump, or a wake-up sent from the audio
// thread); the first one speaks and ends the program.
int onLostDisplay(Display* display) {
  // A forked child (the message box's process) leaves the word to the game.
  if (getpid() != gamePid) _exit(1);
  if (displayLost.exchange(true)) {
    for (;;) pause();
  }
  say("pelliwick: the display was lost: the connection to the X server ");
  const char* name = display != nullptr ? DisplayString(display) : nullptr;
  say(name != nullptr ? name : "");
  say(" broke\n");
  _exit(1);
}

}  // namespace

void ignoreStaleWakeupErrors() {
  static const bool installed = [] {
    previousHandler = XSetErrorHandler(onXError);
    return true;
  }();
  (void)installed;
}

void endOnLostDisplay() {
  static const bool installed = [] {
    gamePid = getpid();
    XSetIOErrorHandler(onLostDisplay);
    return true;
  }();
  (void)installed;
}

}  // namespace pelliwick::sdl_window
