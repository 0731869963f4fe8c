#include "sdl/sdl_window.h"

#include <SDL.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "failure.h"
#include "sdl/key_map.h"
#include "sdl/video_drivers.h"
#include "sdl/x11_errors.h"
#include "sdl/x11_focus.h"
#include "utf8.h"

namespace pelliwick {

using sdl_window::idleMilliseconds;
using sdl_window::ignoreStaleWakeupErrors;
using sdl_window::messageBoxText;
using sdl_window::startVideo;
using sdl_window::virtualKeyCode;
using sdl_window::x11FocusChange;
using namespace std::chrono_literals;

namespace {

[[noreturn]] void fail(const std::string& what) {
  throw Failure(what + ": " + SDL_GetError());
}

constexpr char messageBoxCaption[] = "Pelliwick";

bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

bool isCloseEvent(const SDL_Event& event) {
  return event.type == SDL_QUIT ||
         (event.type == SDL_WINDOWEVENT &&
          event.window.event == SDL_WINDOWEVENT_CLOSE);
}

// What the thread showing the message box shares with the waiting one.
struct BoxShown {
  std::atomic<pid_t> thread{0};
  std::atomic<bool> done{false};
  int result = 0;
  std::string error;  // written before `done`
};

// SDL shows its X11 box from a child process of the thread that asked for
// it, and that thread waits for the child: end the child to end the box.
void killChildrenOf(pid_t thread) {
  std::ifstream children("/proc/self/task/" + std::to_string(thread) +
                         "/children");
  pid_t child = 0;
  while (children >> child) kill(child, SIGKILL);
}

// Set on the thread that shows the box, whose fork makes the box's process.
thread_local bool showingBox = false;
std::atomic<pid_t> gamePid{0};

void endMessageBox(std::thread& shower, const BoxShown& box) {
  // The box's process may not have been started yet: keep ending it until
  // the thread is done, but only briefly, as the program is ending.
  const auto deadline = std::chrono::steady_clock::now() + 100ms;
  while (!box.done && std::chrono::steady_clock::now() < deadline) {
    if (const pid_t thread = box.thread; thread != 0) killChildrenOf(thread);
    std::this_thread::sleep_for(1ms);
  }
  if (box.done) {
    shower.join();
  } else {
    // A box that is not a process of its own goes when the program ends.
    shower.detach();
  }
}

}  // namespace

bool sdl_window::tieBoxToGame() {
  if (!showingBox) return false;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The game may have died before the line above.
  return getppid() != gamePid;
}

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
  if (atMost == kUntilAnEvent) return -1;
  const auto whole = std::chrono::floor<std::chrono::milliseconds>(atMost);
  // SDL takes an int; a day is as good as forever for any game wait.
  return static_cast<int>(
      std::clamp<std::chrono::milliseconds::rep>(whole.count(), 0, 86400000));
}

struct SdlWindowSystem::HeldEvents : std::deque<SDL_Event> {};

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
  if (stopRequested_) closedByUser_ = true;
  while (!held_->empty() && !closedByUser_) {
    const SDL_Event event = held_->front();
    held_->pop_front();
    handleEvent(event);
  }
  if (closedByUser_) {
    discardPendingEvents();
    throw ProgramClosed();
  }
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
  held_->clear();
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

void SdlWindowSystem::idle(WaitingFor, std::chrono::microseconds atMost) {
  if (atMost <= 0us) return;
  if (!videoStarted_ || window_ == nullptr) {
    // No window, so no event can come: just do not spin.
    std::this_thread::sleep_for(
        std::min<std::chrono::microseconds>(atMost, 10ms));
    return;
  }
  if (!held_->empty()) return;
  const int ms = idleMilliseconds(atMost);
  if (ms == 0) {
    // Under a millisecond to a pause's end: SDL cannot wait that precisely.
    std::this_thread::sleep_for(atMost);
    return;
  }
  waitForEvent(ms);
}

void SdlWindowSystem::waitForEvent(int milliseconds) {
  // The event is taken off the queue, so that one nobody reads (a mouse
  // move, a cue's end) cannot keep the next wait from sleeping. 0 is both a
  // time-out and an error, which cannot be told apart.
  SDL_Event event;
  if (SDL_WaitEventTimeout(&event, milliseconds) == 1) held_->push_back(event);
  pumpedByIdle_ = true;
}

WindowHandle SdlWindowSystem::handle() { return window_; }

void SdlWindowSystem::messageBox(const std::wstring& text) {
  const std::string body = messageBoxText(text);
  gamePid = getpid();
  if (!videoStarted_ || window_ == nullptr) {
    showingBox = true;
    const int result =
        SDL_ShowSimpleMessageBox(0, messageBoxCaption, body.c_str(), window_);
    showingBox = false;
    if (result != 0) fail("cannot show the message box");
    return;
  }
  // The box is shown from a thread of its own, so that this one keeps
  // watching the game window and the signals: either ends the program at
  // once, box and all. Keys for the game window wait for the next pump.
  auto box = std::make_shared<BoxShown>();
  std::thread shower([box, body, parent = window_] {
    showingBox = true;
    box->thread = gettid();
    box->result =
        SDL_ShowSimpleMessageBox(0, messageBoxCaption, body.c_str(), parent);
    if (box->result != 0) box->error = SDL_GetError();
    // SDL keeps an error text per thread; this thread is not one of SDL's
    // own, so nothing else frees it.
    SDL_TLSCleanup();
    box->done = true;
    SDL_Event wake{};
    wake.type = SDL_USEREVENT;
    SDL_PushEvent(&wake);
  });
  while (!box->done) {
    if (stopRequested_) closedByUser_ = true;
    if (closedByUser_) {
      endMessageBox(shower, *box);
      throw ProgramClosed();
    }
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, -1) != 1) continue;
    if (isCloseEvent(event)) {
      closedByUser_ = true;
    } else {
      held_->push_back(event);
    }
  }
  shower.join();
  if (box->result != 0) {
    throw Failure("cannot show the message box: " + box->error);
  }
}

bool SdlWindowSystem::closeRequested() {
  if (!videoStarted_ || closedByProgram_) return false;
  if (closedByUser_ || stopRequested_) return true;
  if (std::any_of(held_->begin(), held_->end(), isCloseEvent)) return true;
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

void SdlWindowSystem::requestStop() {
  stopRequested_ = true;
  // Wakes a wait; before the video starts the flag alone is seen.
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  // Not one of SDL's threads: nothing else frees what SDL keeps for it.
  SDL_TLSCleanup();
}

void SdlWindowSystem::close() {
  if (window_ != nullptr) {
    if (focusChanged_) focusChanged_(false);
    SDL_DestroyWindow(window_);
    window_ = nullptr;
  }
  closedByProgram_ = true;
}

}  // namespace pelliwick
