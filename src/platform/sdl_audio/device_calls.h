#pragma once

#include <SDL.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/blocking/blocking_worker.h"

namespace pelliwick {

struct DeviceTicket;

// The SDL calls that wait for the sound server, which may never answer:
// opening a device and closing one. They run on workers of SDL's own
// threads, nobody waits for them beyond a limit, and none waits behind
// another that is stuck: a busy worker is walked away from and a fresh one
// takes the call. One open at a time.
class DeviceCalls {
 public:
  struct Opened {
    SDL_AudioDeviceID id = 0;  // 0 when the open failed
    std::shared_ptr<DeviceTicket> ticket;
    std::string error;  // SDL's reason, when it failed
  };

  DeviceCalls();
  // Walks away from the calls still under way.
  ~DeviceCalls();
  DeviceCalls(const DeviceCalls&) = delete;
  DeviceCalls& operator=(const DeviceCalls&) = delete;

  // Starts opening a device with `spec` for `ticket`. `playAtOnce` unpauses
  // it on the opening thread, right after the open.
  void startOpen(const SDL_AudioSpec& spec,
                 std::shared_ptr<DeviceTicket> ticket, bool playAtOnce);
  bool opening() const { return opening_ != nullptr; }
  // Waits at most `limit` for the open under way; once per open.
  void waitForOpen(std::chrono::milliseconds limit);
  // The open, once it has returned; none while it runs or when none was
  // started.
  std::optional<Opened> takeOpened();
  // Nobody will take the open under way: it closes its device when it
  // returns.
  void letOpenGo();

  // Closes `id` later; `ticket` lives until it is closed.
  void close(SDL_AudioDeviceID id, std::shared_ptr<DeviceTicket> ticket);

  // Waits at most `limit` until no call is under way; true when none is.
  bool waitIdle(std::chrono::milliseconds limit);

 private:
  struct Pending;
  BlockingWorker::Ticket post(BlockingWorker& worker, BlockingWorker::Job call);

  const std::shared_ptr<Pending> pending_;
  std::unique_ptr<BlockingWorker> opener_;
  std::unique_ptr<BlockingWorker> closer_;
  std::shared_ptr<Opened> opening_;
  BlockingWorker::Ticket openTicket_ = 0;
};

}  // namespace pelliwick
