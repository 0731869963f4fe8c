// Implements DirectSound's end-of-play notification (DSBPN_OFFSETSTOP) as
// the game's event pump needs it: a wake message to the cooperative
// window. What it ignores: notifications at other offsets.
#include "platform/win32/dsound_watcher.h"

#include <algorithm>
#include <utility>

#include "platform/failure.h"
#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_messages.h"

namespace pelliwick::win32 {

namespace {
HANDLE newEvent(BOOL manualReset) {
  HANDLE event = CreateEventW(nullptr, manualReset, FALSE, nullptr);
  if (event == nullptr) failWithLastError("sound: cannot make an event");
  return event;
}
}  // namespace

CueEnd::CueEnd() : stopped(newEvent(FALSE)), faded(newEvent(TRUE)) {}

CueEnd::~CueEnd() {
  CloseHandle(stopped);
  CloseHandle(faded);
}

CueWatcher::CueWatcher() : wake_(newEvent(FALSE)) {
  thread_ = std::thread([this] { run(); });
}

CueWatcher::~CueWatcher() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  SetEvent(wake_);
  thread_.join();
  CloseHandle(wake_);
}

void CueWatcher::watch(std::shared_ptr<CueEnd> end) {
  {
    std::lock_guard lock(mutex_);
    // WaitForMultipleObjects takes 64 handles, one of them our own.
    if (watched_.size() >= MAXIMUM_WAIT_OBJECTS - 1) {
      throw Failure("sound: too many buffers at once");
    }
    watched_.push_back(std::move(end));
  }
  SetEvent(wake_);
}

void CueWatcher::forget(const std::shared_ptr<CueEnd>& end) {
  end->cut = true;
  {
    std::lock_guard lock(mutex_);
    std::erase(watched_, end);
  }
  SetEvent(wake_);
}

void CueWatcher::stopAt(ComRef<IDirectSoundBuffer8> buffer,
                        Clock::time_point when, std::shared_ptr<CueEnd> end) {
  {
    std::lock_guard lock(mutex_);
    pending_.push_back({std::move(buffer), when, std::move(end)});
  }
  SetEvent(wake_);
}

void CueWatcher::closeWhenIdle(Clock::time_point when,
                               std::function<void()> close) {
  {
    std::lock_guard lock(mutex_);
    closeAt_ = when;
    close_ = std::move(close);
  }
  SetEvent(wake_);
}

void CueWatcher::closeIfDue() {
  std::function<void()> close;
  {
    std::lock_guard lock(mutex_);
    if (!close_ || !pending_.empty() || Clock::now() < closeAt_) return;
    close = std::exchange(close_, nullptr);
  }
  close();
}

void CueWatcher::stopDue() {
  std::vector<PendingStop> due;
  {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (it->when <= now) {
        due.push_back(std::move(*it));
        it = pending_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& stop : due) {
    // The buffer that is told, or nobody when it was dropped: a failure
    // here cannot be raised on this thread.
    stop.end->stopResult = stop.buffer->Stop();
    SetEvent(stop.end->faded);
  }
}

void CueWatcher::run() {
  for (;;) {
    std::vector<HANDLE> handles{wake_};
    std::vector<std::shared_ptr<CueEnd>> ends;
    DWORD timeout = INFINITE;
    {
      std::lock_guard lock(mutex_);
      if (quit_ && pending_.empty()) return;
      for (const auto& end : watched_) {
        handles.push_back(end->stopped);
        ends.push_back(end);
      }
      auto next = Clock::time_point::max();
      for (const auto& stop : pending_) next = std::min(next, stop.when);
      // The close waits for the stops: it is timed again after them.
      if (close_ && pending_.empty()) next = std::min(next, closeAt_);
      if (next != Clock::time_point::max()) {
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
        timeout = static_cast<DWORD>(std::max<long long>(0, wait.count()));
      }
    }
    const DWORD woken = WaitForMultipleObjects(
        static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeout);
    if (woken > WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + handles.size()) {
      const auto& end = ends[woken - WAIT_OBJECT_0 - 1];
      const HWND window = window_.load();
      // A window already gone has no wait to wake.
      if (!end->cut && window != nullptr) {
        PostMessageW(window, kWakeMessage, 0, 0);
      }
    }
    if (woken == WAIT_FAILED) {
      // Should never happen; if it does, this thread must not spin.
      Sleep(10);
    }
    stopDue();
    closeIfDue();
  }
}

}  // namespace pelliwick::win32
