// Which raw X focus events tell the braille display that the window gained
// or lost the keyboard.
#include "platform/sdl/x11_focus.h"

#include <gtest/gtest.h>

#include <optional>

// After GoogleTest: Xlib defines macros such as None and Bool.
#include <SDL_syswm.h>

namespace pelliwick::sdl_window {
namespace {

TEST(X11Focus, OnlyARealChangeOfTheKeyboardFocusCounts) {
  struct Case {
    int type;
    int mode;
    int detail;
    std::optional<bool> expected;
  };
  const Case cases[] = {
      {FocusIn, NotifyNormal, NotifyNonlinear, true},
      {FocusOut, NotifyNormal, NotifyNonlinear, false},
      {FocusOut, NotifyWhileGrabbed, NotifyAncestor, false},
      // A keyboard grab (a window manager's key binding, a menu) and its
      // end hand nothing over.
      {FocusOut, NotifyGrab, NotifyNonlinear, std::nullopt},
      {FocusIn, NotifyUngrab, NotifyNonlinear, std::nullopt},
      // Moves between the window's own parts, and the pointer's focus.
      {FocusOut, NotifyNormal, NotifyInferior, std::nullopt},
      {FocusIn, NotifyNormal, NotifyPointer, std::nullopt},
      {KeyPress, NotifyNormal, NotifyNonlinear, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + ", mode " +
                 std::to_string(c.mode) + ", detail " +
                 std::to_string(c.detail));
    SDL_SysWMmsg message{};
    message.subsystem = SDL_SYSWM_X11;
    message.msg.x11.event.type = c.type;
    message.msg.x11.event.xfocus.mode = c.mode;
    message.msg.x11.event.xfocus.detail = c.detail;
    SDL_Event event{};
    event.type = SDL_SYSWMEVENT;
    event.syswm.msg = &message;
    EXPECT_EQ(x11FocusChange(event), c.expected);
  }
  SDL_Event other{};
  other.type = SDL_SYSWMEVENT;  // with no message
  EXPECT_EQ(x11FocusChange(other), std::nullopt);
}

}  // namespace
}  // namespace pelliwick::sdl_window
