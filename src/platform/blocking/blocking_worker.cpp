#include "platform/blocking/blocking_worker.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace pelliwick {

namespace {
constexpr std::size_t kKeptFailures = 64;
// A wait without a limit still wakes now and then: a slice of a hundred
// years would overflow the clock's arithmetic.
constexpr std::chrono::milliseconds kLongestSlice = std::chrono::hours(1);
}  // namespace

struct BlockingWorker::Shared {
  std::mutex mutex;
  std::condition_variable jobPosted;
  std::condition_variable jobRan;
  using Posted = std::chrono::steady_clock::time_point;
  struct Queued {
    Ticket ticket;
    Job job;
    Posted posted;
  };
  std::deque<Queued> queue;
  std::optional<Posted> running;  // when the job being run was posted
  Ticket nextTicket = 1;
  Ticket lastRun = 0;  // jobs run in ticket order
  std::map<Ticket, std::exception_ptr> failures;
  bool stopping = false;
  bool ended = false;

  void run() {
    std::unique_lock lock(mutex);
    for (;;) {
      jobPosted.wait(lock, [&] { return stopping || !queue.empty(); });
      if (queue.empty()) break;
      auto [ticket, job, posted] = std::move(queue.front());
      queue.pop_front();
      running = posted;
      lock.unlock();
      std::exception_ptr failure;
      try {
        job();
      } catch (...) {
        failure = std::current_exception();
      }
      job = nullptr;  // what it holds goes on this thread, outside the lock
      lock.lock();
      if (failure) {
        failures[ticket] = failure;
        // Jobs nobody waits for leave theirs behind: keep only the newest.
        if (failures.size() > kKeptFailures) failures.erase(failures.begin());
      }
      lastRun = ticket;
      running.reset();
      jobRan.notify_all();
    }
    ended = true;
    jobRan.notify_all();
  }
};

BlockingWorker::BlockingWorker(const ThreadStarter& start)
    : shared_(std::make_shared<Shared>()) {
  // The thread holds the shared state, so one left behind stays safe.
  auto body = [shared = shared_] { shared->run(); };
  if (start) {
    start(std::move(body));
  } else {
    // The one detached thread: a job stuck in a library must not hold the
    // end, and nobody can join a thread that never returns.
    std::thread(std::move(body)).detach();
  }
}

BlockingWorker::~BlockingWorker() { stop(std::chrono::milliseconds(100)); }

BlockingWorker::Ticket BlockingWorker::post(Job job) {
  std::lock_guard lock(shared_->mutex);
  const Ticket ticket = shared_->nextTicket++;
  shared_->queue.push_back(
      {ticket, std::move(job), std::chrono::steady_clock::now()});
  shared_->jobPosted.notify_one();
  return ticket;
}

bool BlockingWorker::done(Ticket ticket) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->lastRun >= ticket;
}

std::optional<std::chrono::steady_clock::time_point>
BlockingWorker::waitingSince() const {
  std::lock_guard lock(shared_->mutex);
  if (shared_->running) return shared_->running;
  if (!shared_->queue.empty()) return shared_->queue.front().posted;
  return std::nullopt;
}

BlockingWorker::Outcome BlockingWorker::wait(Ticket ticket,
                                             std::chrono::milliseconds limit,
                                             const GiveUp& giveUp) {
  const auto ran = [&] { return shared_->lastRun >= ticket; };
  const Outcome outcome = waitAsking(
      [&](std::chrono::milliseconds slice) {
        std::unique_lock lock(shared_->mutex);
        return shared_->jobRan.wait_for(lock, slice, ran);
      },
      limit, giveUp);
  if (outcome != Outcome::Done) return outcome;
  std::lock_guard lock(shared_->mutex);
  auto found = shared_->failures.find(ticket);
  if (found != shared_->failures.end()) {
    std::exception_ptr failure = found->second;
    shared_->failures.erase(found);
    std::rethrow_exception(failure);
  }
  return Outcome::Done;
}

bool BlockingWorker::stop(std::chrono::milliseconds limit) {
  if (stopped_) return true;
  stopped_ = true;
  std::unique_lock lock(shared_->mutex);
  shared_->stopping = true;
  shared_->jobPosted.notify_all();
  const auto ended = [&] { return shared_->ended; };
  if (limit == kForever) {
    shared_->jobRan.wait(lock, ended);
    return true;
  }
  return shared_->jobRan.wait_for(lock, limit, ended);
}

BlockingWorker::Outcome waitAsking(
    const std::function<bool(std::chrono::milliseconds slice)>& waitFor,
    std::chrono::milliseconds limit, const BlockingWorker::GiveUp& giveUp,
    std::chrono::milliseconds every) {
  using Clock = std::chrono::steady_clock;
  using std::chrono::milliseconds;
  const bool forever = limit == BlockingWorker::kForever;
  const auto deadline =
      forever ? Clock::time_point::max() : Clock::now() + limit;
  for (;;) {
    milliseconds slice = kLongestSlice;
    if (!forever) {
      slice =
          std::max(milliseconds::zero(),
                   std::chrono::ceil<milliseconds>(deadline - Clock::now()));
    }
    if (giveUp) slice = std::min(slice, every);
    if (waitFor(slice)) return BlockingWorker::Outcome::Done;
    if (!forever && Clock::now() >= deadline) {
      return BlockingWorker::Outcome::TimedOut;
    }
    if (giveUp && giveUp()) return BlockingWorker::Outcome::GaveUp;
  }
}

}  // namespace pelliwick
