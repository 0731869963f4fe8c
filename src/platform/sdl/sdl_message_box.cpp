// The message box: SDL's simple box over the game window, shown from a
// thread of its own while the game's thread keeps watching the window and
// the stop signals; either ends the box at once.
#include <SDL.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "platform/blocking/blocking_worker.h"
#include "platform/failure.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl/sdl_window_parts.h"
#include "platform/utf8.h"

namespace pelliwick {

using sdl_window::fail;
using sdl_window::isCloseEvent;
using sdl_window::messageBoxText;
using namespace std::chrono_literals;

namespace {

constexpr char messageBoxCaption[] = "Pelliwick";

// How long a box being ended may take, as the program is ending.
constexpr std::chrono::milliseconds kBoxEndLimit = 100ms;

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

void endMessageBox(BlockingWorker& shower, BlockingWorker::Ticket ticket,
                   const BoxShown& box) {
  // The box's process may not have been started yet: keep ending it until
  // the box's job is done, but only briefly.
  const auto ended = waitAsking(
      [&](std::chrono::milliseconds slice) {
        if (const pid_t thread = box.thread; thread != 0) {
          killChildrenOf(thread);
        }
        return shower.wait(ticket, slice) == BlockingWorker::Outcome::Done;
      },
      kBoxEndLimit, [] { return false; }, 1ms);
  // A box that is not a process of its own goes when the program ends.
  if (ended != BlockingWorker::Outcome::Done) shower.stop(0ms);
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

bool sdl_window::tieBoxToGame() {
  if (!showingBox) return false;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The game may have died before the line above.
  return getppid() != gamePid;
}

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
  BlockingWorker shower;
  const auto ticket = shower.post([box, body, parent = window_] {
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
      endMessageBox(shower, ticket, *box);
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
  if (box->result != 0) {
    throw Failure("cannot show the message box: " + box->error);
  }
}

}  // namespace pelliwick
