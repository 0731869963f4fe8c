#include "sdl/sdl_window.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

#include "failure.h"
#include "sdl/key_map.h"
#include "sdl/x11_errors.h"
#include "utf8.h"

namespace pelliwick {

using sdl_window::idleMilliseconds;
using sdl_window::ignoreStaleWakeupErrors;
using sdl_window::messageBoxText;
using sdl_window::virtualKeyCode;

namespace {

[[noreturn]] void fail(const std::string& what) {
  throw Failure(what + ": " + SDL_GetError());
}

constexpr char messageBoxCaption[] = "Pelliwick";

bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

}  // namespace

std::string sdl_window::messageBoxText(const std::wstring& text) {
  std::wstring lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\r') {
      lines += text[i];
    } else if (i + 1 == text.size() || text[i + 1] != L'\n') {
      lines += L'\n';
    }
  }
  return toUtf8(lines);
}

int sdl_window::idleMilliseconds(std::chrono::microseconds atMost) {
  const auto rounded = std::chrono::ceil<std::chrono::milliseconds>(atMost);
  return static_cast<int>(
      std::clamp<std::chrono::milliseconds::rep>(rounded.count(), 1, 10));
}

SdlWindowSystem::~SdlWindowSystem() {
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
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
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
}

void SdlWindowSystem::setKeyDownHandler(KeyDownHandler handler) {
  keyDown_ = std::move(handler);
}

void SdlWindowSystem::pumpEvents() {
  if (!videoStarted_) return;
  if (closedByUser_) {
    discardPendingEvents();
    throw ProgramClosed();
  }
  if (closedByProgram_) {
    // Keeps idle() from waking at once for events nobody will read.
    discardPendingEvents();
    return;
  }
  if (!pumpedByIdle_) SDL_PumpEvents();
  pumpedByIdle_ = false;
  // Only what is queued now: a key held down must not keep the pump from
  // returning.
  SDL_Event event;
  for (;;) {
    const int got =
        SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    if (got < 0) fail("cannot read window events");
    if (got == 0) break;
    handleEvent(event);
    if (closedByUser_) {
      discardPendingEvents();
      throw ProgramClosed();
    }
  }
}

void SdlWindowSystem::handleEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      closedByUser_ = true;
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) closedByUser_ = true;
      break;
    case SDL_KEYDOWN: {
      const int code =
          virtualKeyCode(event.key.keysym.sym, event.key.keysym.scancode);
      if (code != 0 && keyDown_) {
        keyDown_(code, (event.key.keysym.mod & KMOD_SHIFT) != 0 ? 1 : 0);
      }
      break;
    }
    default:
      break;
  }
}

void SdlWindowSystem::discardPendingEvents() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

void SdlWindowSystem::idle(WaitingFor, std::chrono::microseconds atMost) {
  const int ms = idleMilliseconds(atMost);
  if (!videoStarted_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  // A null event leaves what arrived in the queue for the next pump. It
  // returns 0 both on a time-out and on an error, which cannot be told apart.
  SDL_WaitEventTimeout(nullptr, ms);
  pumpedByIdle_ = true;
}

WindowHandle SdlWindowSystem::handle() { return window_; }

void SdlWindowSystem::messageBox(const std::wstring& text) {
  const std::string body = messageBoxText(text);
  if (SDL_ShowSimpleMessageBox(0, messageBoxCaption, body.c_str(), window_) !=
      0) {
    fail("cannot show the message box");
  }
}

bool SdlWindowSystem::closeRequested() {
  if (!videoStarted_ || closedByProgram_) return false;
  if (closedByUser_) return true;
  SDL_PumpEvents();
  if (SDL_HasEvent(SDL_QUIT)) return true;
  SDL_Event events[32];
  const int count = SDL_PeepEvents(events, 32, SDL_PEEKEVENT, SDL_WINDOWEVENT,
                                   SDL_WINDOWEVENT);
  for (int i = 0; i < count; ++i) {
    if (events[i].window.event == SDL_WINDOWEVENT_CLOSE) return true;
  }
  return false;
}

void SdlWindowSystem::close() {
  if (window_ != nullptr) {
    SDL_DestroyWindow(window_);
    window_ = nullptr;
  }
  closedByProgram_ = true;
}

}  // namespace pelliwick
