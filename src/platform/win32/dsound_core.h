#pragma once

#include <mutex>

#include "platform/win32/com_ref.h"
#include "platform/win32/dsound_api.h"
#include "platform/win32/dsound_watcher.h"

namespace pelliwick::win32 {

// The default DirectSound device, held while buffers exist and for a few
// seconds after the last is gone: an open device keeps Wine's mixer
// running (about 2% of a core), so a waiting game lets it go, and the next
// cue opens it again with the same cooperative level.
class DirectSoundCore {
 public:
  // Opens the device at once: a missing sound card is found at start-up.
  DirectSoundCore();
  DirectSoundCore(const DirectSoundCore&) = delete;
  DirectSoundCore& operator=(const DirectSoundCore&) = delete;

  void setCooperativeLevel(HWND window, int level);
  // The open device, counted as in use until release().
  ComRef<IDirectSound8> acquire();
  void release();
  bool isOpen();
  CueWatcher& watcher() { return watcher_; }

 private:
  void openLocked();
  void closeIfIdle();

  std::mutex mutex_;
  ComRef<IDirectSound8> device_;
  HWND window_ = nullptr;
  int level_ = 0;
  int users_ = 0;
  // Last, so that its thread ends before the members it uses go.
  CueWatcher watcher_;
};

}  // namespace pelliwick::win32
