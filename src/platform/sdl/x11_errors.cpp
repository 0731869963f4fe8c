#include "sdl/x11_errors.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

namespace pelliwick::sdl_window {
namespace {

XErrorHandler previousHandler = nullptr;

int onXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) {
    return 0;
  }
  return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

}  // namespace

void ignoreStaleWakeupErrors() {
  static const bool installed = [] {
    previousHandler = XSetErrorHandler(onXError);
    return true;
  }();
  (void)installed;
}

}  // namespace pelliwick::sdl_window
