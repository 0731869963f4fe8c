// Implements the braille display the game sees over a connection to the
// braille service: the newest text, the display taken while the window has
// focus, panning, and a connection lost and found again. Ignored: texts
// replaced before the worker got to them (only the newest is shown).
#include "platform/brlapi/braille_worker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/failure.h"

namespace pelliwick::braille {

namespace {

// What the game asked to be shown last; an entry when `answer` is set.
struct Request {
  std::wstring text;
  std::optional<std::wstring> answer;
};

// A connection being opened on a worker of its own: a stalled service holds
// only that worker's thread, which is walked away from.
class Attempt {
 public:
  // `told` runs once the attempt has ended, in time or not.
  Attempt(const Connect& connect, const std::function<void()>& told)
      : opened_(std::make_shared<std::unique_ptr<Connection>>()) {
    ticket_ = worker_.post([opened = opened_, connect] {
      try {
        *opened = connect();
      } catch (const std::exception&) {
      }
    });
    // Posted behind it, so that done() is true once this runs.
    worker_.post(told);
  }
  ~Attempt() { worker_.stop(std::chrono::milliseconds::zero()); }
  Attempt(const Attempt&) = delete;
  Attempt& operator=(const Attempt&) = delete;

  bool endsWithin(std::chrono::milliseconds limit) {
    return worker_.wait(ticket_, limit) == BlockingWorker::Outcome::Done;
  }
  bool done() const { return worker_.done(ticket_); }
  // Once it has ended: the connection, none when it failed.
  std::unique_ptr<Connection> take() { return std::move(*opened_); }

 private:
  BlockingWorker worker_;
  BlockingWorker::Ticket ticket_ = 0;
  std::shared_ptr<std::unique_ptr<Connection>> opened_;
};

// Waits at most `limit`. An attempt that ends late calls `wake`, and its
// connection is taken at the next call; while it is still waiting, no other
// is started.
std::unique_ptr<Connection> openWithin(const Connect& connect,
                                       std::chrono::milliseconds limit,
                                       std::unique_ptr<Attempt>& late,
                                       const std::function<void()>& wake) {
  if (late) {
    if (!late->done()) return nullptr;
    std::unique_ptr<Connection> connection = late->take();
    late.reset();
    if (connection) return connection;
  }
  auto attempt = std::make_unique<Attempt>(connect, wake);
  if (attempt->endsWithin(limit)) return attempt->take();
  late = std::move(attempt);
  return nullptr;
}

// What the game's threads share with the worker.
struct Shared {
  std::mutex mutex;
  std::optional<Request> request;  // the newest wins
  bool focused = false;
  bool focusGained = false;
  bool stopping = false;
  int wakeFd = -1;

  ~Shared() {
    if (wakeFd >= 0) close(wakeFd);
  }
  void wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
  }
};

}  // namespace

struct BrailleWorker::State : Shared {};

namespace {

// The connection and what it shows, as the worker keeps them.
class Worker {
 public:
  Worker(std::shared_ptr<Shared> state, Connect connect, Limits limits)
      : state_(std::move(state)),
        connect_(std::move(connect)),
        limits_(limits) {}

  void run() {
    for (;;) {
      bool focused = false;
      {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) break;
        takeRequest();
        if (state_->focusGained) retry_ = true;
        state_->focusGained = false;
        focused = state_->focused;
      }
      if (!connection_ && (retry_ || late_)) {
        taken_ = false;
        shown_ = false;
        guard([&] {
          connection_ = openWithin(connect_, limits_.connect, late_,
                                   [state = state_] { state->wake(); });
        });
      }
      retry_ = false;
      guard([&] { update(focused); });
      waitForWork();
    }
    guard([&] {
      if (taken_) connection_->giveBack();
    });
    connection_.reset();
  }

 private:
  void takeRequest() {
    if (!state_->request) return;
    if (state_->request->answer) {
      line_.setEntry(state_->request->text, *state_->request->answer);
    } else {
      line_.setText(state_->request->text);
    }
    state_->request.reset();
    shown_ = false;
    retry_ = true;
  }

  void update(bool focused) {
    if (!connection_) return;
    // Until the game has something to show, the screen reader keeps it.
    if (focused && !taken_ && !line_.text().empty()) {
      connection_->takeDisplay();
      taken_ = true;
      shown_ = false;
    } else if (!focused && taken_) {
      taken_ = false;
      connection_->giveBack();
    }
    if (taken_ && !shown_) {
      connection_->write(line_.window(connection_->columns()));
      shown_ = true;
    }
  }

  // A failed call loses the connection: it is opened again when there is
  // something new to show.
  template <typename Call>
  void guard(Call&& call) {
    try {
      call();
    } catch (const std::exception&) {
      connection_.reset();
      taken_ = false;
    }
  }

  // Sleeps until the game leaves something, or the display's keys or its
  // end come.
  void waitForWork() {
    pollfd fds[2] = {
        {state_->wakeFd, POLLIN, 0},
        {connection_ ? connection_->fileDescriptor() : -1, POLLIN, 0}};
    while (poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
    if ((fds[0].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto got = ::read(fds[0].fd, &count, sizeof count);
    }
    if (fds[1].revents == 0 || !connection_) return;
    guard([&] {
      // Outside the terminal mode nothing is sent unasked: the service
      // has gone.
      if (!taken_) throw Failure("braille: the service went away");
      const std::size_t columns = connection_->columns();
      for (const Pan pan : connection_->readPans()) {
        line_.pan(pan, columns);
        shown_ = false;
      }
      if (!shown_) {
        connection_->write(line_.window(columns));
        shown_ = true;
      }
    });
  }

  std::shared_ptr<Shared> state_;
  Connect connect_;
  Limits limits_;
  BrailleLine line_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Attempt> late_;
  bool taken_ = false;  // the display is in our terminal mode
  bool shown_ = false;  // it shows the line as it is now
  bool retry_ = true;   // at start, then at each new text or focus
};

}  // namespace

BrailleWorker::BrailleWorker(Connect connect, Limits limits)
    : state_(std::make_shared<State>()), limits_(limits) {
  // Without a worker there is simply no braille.
  state_->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  try {
    if (state_->wakeFd < 0)
      throw std::system_error(errno, std::generic_category());
    thread_ = std::make_unique<BlockingWorker>();
    thread_->post([state = state_, connect = std::move(connect), limits] {
      Worker(state, connect, limits).run();
    });
  } catch (const std::system_error&) {
    thread_.reset();
  }
}

BrailleWorker::~BrailleWorker() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    state_->wake();
  }
  // A stalled service keeps its display; the worker goes with the program.
  if (thread_) thread_->stop(limits_.release);
}

void BrailleWorker::show(const std::wstring& text) {
  std::lock_guard lock(state_->mutex);
  state_->request = Request{text, std::nullopt};
  state_->wake();
}

void BrailleWorker::showEntry(const std::wstring& prompt,
                              const std::wstring& answer) {
  std::lock_guard lock(state_->mutex);
  state_->request = Request{prompt, answer};
  state_->wake();
}

void BrailleWorker::setFocused(bool focused) {
  std::lock_guard lock(state_->mutex);
  if (focused && !state_->focused) state_->focusGained = true;
  state_->focused = focused;
  state_->wake();
}

}  // namespace pelliwick::braille
