#include "platform/sdl/x11_focus.h"

#include <SDL_syswm.h>

namespace pelliwick::sdl_window {

std::optional<bool> x11FocusChange(const SDL_Event& event) {
  if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr ||
      event.syswm.msg->subsystem != SDL_SYSWM_X11) {
    return std::nullopt;
  }
  const XEvent& x = event.syswm.msg->msg.x11.event;
  if (x.type != FocusIn && x.type != FocusOut) return std::nullopt;
  // As SDL does: grabs and moves between the window's own parts change
  // nothing.
  if (x.xfocus.mode == NotifyGrab || x.xfocus.mode == NotifyUngrab ||
      x.xfocus.detail == NotifyInferior || x.xfocus.detail == NotifyPointer) {
    return std::nullopt;
  }
  return x.type == FocusIn;
}

}  // namespace pelliwick::sdl_window
