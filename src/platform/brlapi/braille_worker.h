#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/blocking/blocking_worker.h"
#include "platform/braille.h"
#include "platform/brlapi/connection.h"

namespace pelliwick::braille {

struct Limits {
  // The longest the worker waits for an attempt to connect. One that ends
  // later (a brltty starting up, or stalled) is taken when it ends.
  std::chrono::milliseconds connect{200};
  // How long the end of the program waits for the display to be given back
  // (closing the connection as the program ends gives it back anyway).
  std::chrono::milliseconds release{50};
};

// The braille display over connections that `connect` opens. A worker
// thread owns the connection and does all the waiting; the game only leaves
// its newest text for it, so a service that is absent, stalled or gone never
// holds the game. A lost connection is opened again at the next text, or
// when the window gets focus.
class BrailleWorker : public BrailleDisplay {
 public:
  explicit BrailleWorker(Connect connect, Limits limits = {});
  // Gives the display back, waiting at most `limits.release`.
  ~BrailleWorker() override;
  BrailleWorker(const BrailleWorker&) = delete;
  BrailleWorker& operator=(const BrailleWorker&) = delete;

  void show(const std::wstring& text) override;
  void showEntry(const std::wstring& prompt,
                 const std::wstring& answer) override;

  // The display is the game's while its window has focus, and the screen
  // reader's otherwise. Callable from any thread.
  void setFocused(bool focused);

 private:
  struct State;
  std::shared_ptr<State> state_;
  Limits limits_;
  // Runs the connection and its waits; none when it could not start.
  std::unique_ptr<BlockingWorker> thread_;
};

}  // namespace pelliwick::braille
