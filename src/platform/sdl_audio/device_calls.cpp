#include "platform/sdl_audio/device_calls.h"

#include <condition_variable>
#include <mutex>
#include <utility>

#include "platform/failure.h"
#include "platform/sdl_audio/device_link.h"
#include "platform/sdl_audio/sdl_thread.h"

namespace pelliwick {

namespace {

constexpr char kOpener[] = "pelliwick-open";
constexpr char kCloser[] = "pelliwick-close";

// A worker stuck in the server is left to it; the next call gets a fresh one.
void freshIfBusy(std::unique_ptr<BlockingWorker>& worker, const char* name) {
  if (!worker->waitingSince()) return;
  std::unique_ptr<BlockingWorker> fresh;
  try {
    fresh = std::make_unique<BlockingWorker>(sdlThread(name));
  } catch (const Failure&) {
    // No thread to be had: the call queues behind the stuck one instead.
    return;
  }
  worker->stop(std::chrono::milliseconds::zero());
  worker = std::move(fresh);
}

}  // namespace

// The calls under way on every worker, left ones included.
struct DeviceCalls::Pending {
  std::mutex mutex;
  std::condition_variable none;
  int calls = 0;
};

DeviceCalls::DeviceCalls()
    : pending_(std::make_shared<Pending>()),
      opener_(std::make_unique<BlockingWorker>(sdlThread(kOpener))),
      closer_(std::make_unique<BlockingWorker>(sdlThread(kCloser))) {}

DeviceCalls::~DeviceCalls() {
  opener_->stop(std::chrono::milliseconds::zero());
  closer_->stop(std::chrono::milliseconds::zero());
}

BlockingWorker::Ticket DeviceCalls::post(BlockingWorker& worker,
                                         BlockingWorker::Job call) {
  {
    std::lock_guard lock(pending_->mutex);
    ++pending_->calls;
  }
  return worker.post([pending = pending_, call = std::move(call)] {
    call();
    std::lock_guard lock(pending->mutex);
    if (--pending->calls == 0) pending->none.notify_all();
  });
}

void DeviceCalls::startOpen(const SDL_AudioSpec& spec,
                            std::shared_ptr<DeviceTicket> ticket,
                            bool playAtOnce) {
  auto opening = std::make_shared<Opened>();
  opening->ticket = std::move(ticket);
  freshIfBusy(opener_, kOpener);
  // Read by the keeper only once the worker says the call has run.
  openTicket_ = post(*opener_, [opening, spec, playAtOnce] {
    opening->id = DeviceLink::openDevice(spec, *opening->ticket, nullptr, 0);
    if (opening->id == 0) {
      opening->error = SDL_GetError();
    } else if (playAtOnce) {
      SDL_PauseAudioDevice(opening->id, 0);
    }
  });
  opening_ = std::move(opening);
}

void DeviceCalls::waitForOpen(std::chrono::milliseconds limit) {
  if (opening_) opener_->wait(openTicket_, limit);
}

std::optional<DeviceCalls::Opened> DeviceCalls::takeOpened() {
  if (!opening_ || !opener_->done(openTicket_)) return std::nullopt;
  const auto opened = std::move(opening_);
  opening_.reset();
  return std::move(*opened);
}

void DeviceCalls::letOpenGo() {
  if (!opening_) return;
  // On the same worker, so after the open, whenever that returns.
  post(*opener_, [opening = std::move(opening_)] {
    if (opening->id != 0) SDL_CloseAudioDevice(opening->id);
  });
  opening_.reset();
}

void DeviceCalls::close(SDL_AudioDeviceID id,
                        std::shared_ptr<DeviceTicket> ticket) {
  freshIfBusy(closer_, kCloser);
  post(*closer_,
       [id, ticket = std::move(ticket)] { SDL_CloseAudioDevice(id); });
}

bool DeviceCalls::waitIdle(std::chrono::milliseconds limit) {
  const auto none = [&] { return pending_->calls == 0; };
  return waitAsking(
             [&](std::chrono::milliseconds slice) {
               std::unique_lock lock(pending_->mutex);
               return pending_->none.wait_for(lock, slice, none);
             },
             limit, {}) == BlockingWorker::Outcome::Done;
}

}  // namespace pelliwick
