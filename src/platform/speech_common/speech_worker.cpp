#include "speech_worker.h"

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
}  // namespace

struct SpeechWorker::Shared {
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

SpeechWorker::SpeechWorker() : shared_(std::make_shared<Shared>()) {
  // The thread holds the shared state, so one left behind stays safe.
  std::thread([shared = shared_] { shared->run(); }).detach();
}

SpeechWorker::~SpeechWorker() { stop(std::chrono::milliseconds(100)); }

SpeechWorker::Ticket SpeechWorker::post(Job job) {
  std::lock_guard lock(shared_->mutex);
  const Ticket ticket = shared_->nextTicket++;
  shared_->queue.push_back(
      {ticket, std::move(job), std::chrono::steady_clock::now()});
  shared_->jobPosted.notify_one();
  return ticket;
}

bool SpeechWorker::done(Ticket ticket) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->lastRun >= ticket;
}

std::optional<std::chrono::steady_clock::time_point>
SpeechWorker::waitingSince() const {
  std::lock_guard lock(shared_->mutex);
  if (shared_->running) return shared_->running;
  if (!shared_->queue.empty()) return shared_->queue.front().posted;
  return std::nullopt;
}

SpeechWorker::Outcome SpeechWorker::wait(Ticket ticket,
                                         std::chrono::milliseconds limit,
                                         const GiveUp& giveUp) {
  using Clock = std::chrono::steady_clock;
  const auto deadline =
      limit == kForever ? Clock::time_point::max() : Clock::now() + limit;
  std::unique_lock lock(shared_->mutex);
  const auto ran = [&] { return shared_->lastRun >= ticket; };
  while (!ran()) {
    const auto now = Clock::now();
    if (now >= deadline) return Outcome::TimedOut;
    const Clock::duration slice = std::min<Clock::duration>(
        giveUp ? Clock::duration(kAskEvery) : Clock::duration::max() / 2,
        deadline - now);
    if (shared_->jobRan.wait_until(lock, now + slice, ran)) break;
    if (giveUp) {
      lock.unlock();
      const bool stopWaiting = giveUp();
      lock.lock();
      if (stopWaiting) return Outcome::GaveUp;
    }
  }
  auto found = shared_->failures.find(ticket);
  if (found != shared_->failures.end()) {
    std::exception_ptr failure = found->second;
    shared_->failures.erase(found);
    std::rethrow_exception(failure);
  }
  return Outcome::Done;
}

bool SpeechWorker::stop(std::chrono::milliseconds limit) {
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

}  // namespace pelliwick
