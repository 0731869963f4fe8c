#include "platform/sdl/x11_errors.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "platform/report.h"

namespace pelliwick::sdl_window {
namespace {

XErrorHandler previousHandler = nullptr;
pid_t gamePid = 0;
std::atomic<bool> displayLost{false};
EndProgram endProgram = nullptr;

int onXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) {
    return 0;
  }
  return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

// Any thread may find the loss (the pump, or a wake-up sent from the audio
// thread); the first one reports it and ends the program.
int onLostDisplay(Display* display) {
  // A forked child (the message box's process) leaves the word to the game.
  if (getpid() == gamePid) {
    if (displayLost.exchange(true)) {
      for (;;) pause();
    }
    const char* name = display != nullptr ? DisplayString(display) : nullptr;
    report(
        std::string("the display was lost: the connection to the X server ") +
        (name != nullptr ? name : "") + " broke");
  }
  endProgram();
  // Not reached; were it, Xlib would end the program itself.
  return 0;
}

}  // namespace

void ignoreStaleWakeupErrors() {
  static const bool installed = [] {
    previousHandler = XSetErrorHandler(onXError);
    return true;
  }();
  (void)installed;
}

void endOnLostDisplay(EndProgram end) {
  endProgram = end;
  static const bool installed = [] {
    gamePid = getpid();
    XSetIOErrorHandler(onLostDisplay);
    return true;
  }();
  (void)installed;
}

}  // namespace pelliwick::sdl_window
