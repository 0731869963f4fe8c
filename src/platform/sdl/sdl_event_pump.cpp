// The window's events: the pump that runs what is queued and never waits,
// the wait that sleeps until an event or a time limit, and the ends a close
// of the window or a stop from another thread bring.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/failure.h"
#include "platform/sdl/key_map.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl/sdl_window_parts.h"

namespace pelliwick {

using sdl_window::fail;
using sdl_window::idleMilliseconds;
using sdl_window::isCloseEvent;
using sdl_window::virtualKeyCode;
using namespace std::chrono_literals;

int sdl_window::idleMilliseconds(std::chrono::microseconds atMost) {
  if (atMost == kUntilAnEvent) return -1;
  const auto whole = std::chrono::floor<std::chrono::milliseconds>(atMost);
  // SDL takes an int; a day is as good as forever for any game wait.
  return static_cast<int>(
      std::clamp<std::chrono::milliseconds::rep>(whole.count(), 0, 86400000));
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

}  // namespace pelliwick
