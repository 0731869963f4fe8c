#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/window.h"

struct SDL_Window;
union SDL_Event;

namespace pelliwick {

namespace sdl_window {

// The message box text: a lone "\r" does not break a line in SDL's box, so
// every "\r" (or "\r\n") becomes "\n".
std::string messageBoxText(const std::wstring& text);

// How long idle() lets SDL wait for an event: the whole milliseconds of
// `atMost` (SDL counts in them; a rest below one is slept precisely), or -1
// for kUntilAnEvent.
int idleMilliseconds(std::chrono::microseconds atMost);

// For the program's own handler in the child of every fork (only
// async-signal-safe calls): a child forked to show the message box is made
// to die with the game, however the game ends (SIGKILL included). True when
// the game has died already, and the child is to end at once.
bool tieBoxToGame();

}  // namespace sdl_window

// The game window: one SDL window that draws nothing and reports key-downs
// with Windows virtual-key codes. Construct it, then show() it; SDL video is
// started by the first show() and stopped again by the destructor.
class SdlWindowSystem : public WindowSystem {
 public:
  SdlWindowSystem();
  ~SdlWindowSystem() override;
  SdlWindowSystem(const SdlWindowSystem&) = delete;
  SdlWindowSystem& operator=(const SdlWindowSystem&) = delete;

  void show(const std::wstring& caption) override;
  void setKeyDownHandler(KeyDownHandler handler) override;
  void pumpEvents() override;
  void idle(WaitingFor reason, std::chrono::microseconds atMost) override;
  WindowHandle handle() override;
  void messageBox(const std::wstring& text) override;
  void close() override;

  // Whether the window was closed, or the process told to stop, while the
  // game is busy elsewhere (waiting for speech to be heard). Runs no event:
  // keys stay queued for the next pump.
  bool closeRequested();

  // From any thread, at any time (a stop signal): ends the game as a close
  // of the window does.
  void requestStop();

  // Told whether the window has the keyboard focus, at once when shown and
  // whenever it changes: as soon as SDL hears of it, even while the game
  // waits for speech and runs no event. Set it before show().
  void setFocusHandler(std::function<void(bool hasFocus)> handler);

 private:
  struct HeldEvents;

  void handleEvent(const SDL_Event& event);
  void discardPendingEvents();
  // Sleeps until an event comes and keeps it for the next pump.
  void waitForEvent(int milliseconds);
  static int watchFocus(void* self, SDL_Event* event);

  bool videoStarted_ = false;
  SDL_Window* window_ = nullptr;
  bool closedByUser_ = false;
  bool closedByProgram_ = false;
  // idle() has just moved what arrived into SDL's queue: the pump after it
  // need not ask the display again.
  bool pumpedByIdle_ = false;
  std::atomic<bool> stopRequested_{false};
  // Taken off SDL's queue by a wait, in order, for the next pump to run.
  std::unique_ptr<HeldEvents> held_;
  KeyDownHandler keyDown_;
  std::function<void(bool)> focusChanged_;
};

}  // namespace pelliwick
