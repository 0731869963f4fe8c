#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/com_ref.h"
#include "platform/win32/dsound_api.h"

namespace pelliwick::win32 {

// What one buffer shares with the watcher.
struct CueEnd {
  CueEnd();
  ~CueEnd();
  CueEnd(const CueEnd&) = delete;
  CueEnd& operator=(const CueEnd&) = delete;

  // Set by DirectSound whenever the buffer stops.
  HANDLE stopped;
  // Set by the watcher once a faded-out buffer has really been stopped.
  HANDLE faded;
  // Stopped or dropped by the game: its end wakes nobody.
  std::atomic<bool> cut{false};
  // What the delayed Stop answered.
  std::atomic<long> stopResult{0};
};

// One thread per device that sleeps until a buffer stops by itself, then
// posts kWakeMessage to the window so that the game's wait sees the status
// at once; that stops faded-out buffers once their fade has sounded; and
// that lets the device go after a silence.
class CueWatcher {
 public:
  using Clock = std::chrono::steady_clock;

  CueWatcher();
  // Stops (and drops) every buffer still fading, at its time.
  ~CueWatcher();
  CueWatcher(const CueWatcher&) = delete;
  CueWatcher& operator=(const CueWatcher&) = delete;

  void setWindow(HWND window) { window_.store(window); }
  void watch(std::shared_ptr<CueEnd> end);
  void forget(const std::shared_ptr<CueEnd>& end);
  // Stops `buffer` at `when`, then sets `end->faded` and drops the buffer.
  void stopAt(ComRef<IDirectSoundBuffer8> buffer, Clock::time_point when,
              std::shared_ptr<CueEnd> end);
  // Runs `close` at `when` once no stop is pending, unless a later call
  // put another in its place; dropped when the watcher ends.
  void closeWhenIdle(Clock::time_point when, std::function<void()> close);

 private:
  struct PendingStop {
    ComRef<IDirectSoundBuffer8> buffer;
    Clock::time_point when;
    std::shared_ptr<CueEnd> end;
  };
  void run();
  void stopDue();
  void closeIfDue();

  std::atomic<HWND> window_{nullptr};
  HANDLE wake_;
  std::mutex mutex_;
  bool quit_ = false;
  std::vector<std::shared_ptr<CueEnd>> watched_;
  std::vector<PendingStop> pending_;
  Clock::time_point closeAt_;
  std::function<void()> close_;
  std::thread thread_;
};

}  // namespace pelliwick::win32
