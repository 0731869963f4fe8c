// What this implements of the window system on SDL2: one window, "Form1",
// shown modeless, that draws nothing and hands every key-down (auto-repeats
// included) to the game with its Windows virtual-key code, only from inside
// the pump (sdl_event_pump.cpp); the keyboard focus, told as soon as SDL
// hears of it; the message box (sdl_message_box.cpp); and the window's
// close. Ignored: mouse, painting, typed text, and the size and place of the
// window.
#include "platform/sdl/sdl_window.h"

#include <SDL.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "platform/failure.h"
#include "platform/sdl/sdl_window_parts.h"
#include "platform/sdl/video_drivers.h"
#include "platform/sdl/x11_errors.h"
#include "platform/sdl/x11_focus.h"
#include "platform/utf8.h"

namespace pelliwick {

using sdl_window::fail;
using sdl_window::ignoreStaleWakeupErrors;
using sdl_window::startVideo;
using sdl_window::x11FocusChange;

namespace {

bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

}  // namespace

void sdl_window::fail(const std::string& what) {
  throw Failure(what + ": " + SDL_GetError());
}

bool sdl_window::isCloseEvent(const SDL_Event& event) {
  return event.type == SDL_QUIT ||
         (event.type == SDL_WINDOWEVENT &&
          event.window.event == SDL_WINDOWEVENT_CLOSE);
}

SdlWindowSystem::SdlWindowSystem() : held_(std::make_unique<HeldEvents>()) {}

SdlWindowSystem::~SdlWindowSystem() {
  if (videoStarted_) SDL_DelEventWatch(watchFocus, this);
  if (window_ != nullptr) SDL_DestroyWindow(window_);
  if (videoStarted_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void SdlWindowSystem::show(const std::wstring& caption) {
  if (!videoStarted_) {
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const bool driverNamed = asked != nullptr && *asked != '\0';
    // Checked first: SDL's probing for a display prints its own complaints,
    // and the player should read one clear reason.
    if (!driverNamed && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
      throw Failure(
          "cannot open the window: no display found (neither DISPLAY nor "
          "WAYLAND_DISPLAY is set)");
    }
    ignoreStaleWakeupErrors();
    // The program reads its stop signals itself. SDL's handlers would only
    // be inherited by the message box's process, which would then take a
    // SIGTERM as a quit event nobody reads, and stay.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (startVideo() != 0) {
      fail("cannot start SDL video");
    }
    videoStarted_ = true;
    // With no display SDL falls back to a window nobody can see or type
    // into; that is only wanted when asked for by name (headless tests).
    const std::string driver = SDL_GetCurrentVideoDriver();
    if ((driver == "offscreen" || driver == "dummy") &&
        (!driverNamed || driver != asked)) {
      throw Failure("cannot open the window: no display could be opened");
    }
    // The window is only cleared once: a plain framebuffer will do, with no
    // OpenGL renderer (and its threads and memory) behind it.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Key-downs are all the game reads; no text events are needed.
    SDL_StopTextInput();
    SDL_AddEventWatch(watchFocus, this);
    if (focusChanged_) SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  }
  const std::string title = toUtf8(caption);
  if (window_ == nullptr) {
    window_ =
        SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED,
                         SDL_WINDOWPOS_UNDEFINED, 320, 200, SDL_WINDOW_SHOWN);
    if (window_ == nullptr) fail("cannot create the window");
    closedByProgram_ = false;
    // The window never draws; clear it once so that it shows no garbage.
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (surface == nullptr) fail("cannot get the window surface");
    if (SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0)) !=
        0) {
      fail("cannot clear the window");
    }
    if (SDL_UpdateWindowSurface(window_) != 0) fail("cannot clear the window");
  } else {
    SDL_SetWindowTitle(window_, title.c_str());
    SDL_ShowWindow(window_);
  }
  SDL_RaiseWindow(window_);
  if (focusChanged_) {
    focusChanged_((SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0);
  }
}

void SdlWindowSystem::setFocusHandler(std::function<void(bool)> handler) {
  focusChanged_ = std::move(handler);
}

int SdlWindowSystem::watchFocus(void* self, SDL_Event* event) {
  auto& window = *static_cast<SdlWindowSystem*>(self);
  if (!window.focusChanged_) return 1;
  if (const auto gained = x11FocusChange(*event)) {
    window.focusChanged_(*gained);
  } else if (event->type == SDL_WINDOWEVENT) {
    if (event->window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
      window.focusChanged_(true);
    } else if (event->window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
      window.focusChanged_(false);
    }
  }
  return 1;  // the event stays in the queue
}

void SdlWindowSystem::setKeyDownHandler(KeyDownHandler handler) {
  keyDown_ = std::move(handler);
}

WindowHandle SdlWindowSystem::handle() { return window_; }

void SdlWindowSystem::close() {
  if (window_ != nullptr) {
    if (focusChanged_) focusChanged_(false);
    SDL_DestroyWindow(window_);
    window_ = nullptr;
  }
  closedByProgram_ = true;
}

}  // namespace pelliwick
