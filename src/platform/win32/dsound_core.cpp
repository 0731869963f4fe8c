// Implements DirectSoundCreate8's default device and SetCooperativeLevel.
// What it ignores: device GUIDs and capabilities; the device is let go
// after a silence and made again, which the game cannot tell apart.
#include "platform/win32/dsound_core.h"

#include <chrono>

#include "platform/win32/win32_failure.h"

namespace pelliwick::win32 {

namespace {
// As long as the Linux build keeps its audio device after the last sound.
constexpr auto kCloseAfter = std::chrono::seconds(3);
}  // namespace

DirectSoundCore::DirectSoundCore() {
  std::lock_guard lock(mutex_);
  openLocked();
  watcher_.closeWhenIdle(CueWatcher::Clock::now() + kCloseAfter,
                         [this] { closeIfIdle(); });
}

void DirectSoundCore::openLocked() {
  if (device_) return;
  ComRef<IDirectSound8> device;
  check(DirectSoundCreate8(nullptr, device.put(), nullptr),
        "sound: DirectSoundCreate8");
  if (window_ != nullptr) {
    check(device->SetCooperativeLevel(window_, static_cast<DWORD>(level_)),
          "sound device: SetCooperativeLevel");
  }
  device_ = std::move(device);
}

void DirectSoundCore::setCooperativeLevel(HWND window, int level) {
  std::lock_guard lock(mutex_);
  openLocked();
  check(device_->SetCooperativeLevel(window, static_cast<DWORD>(level)),
        "sound device: SetCooperativeLevel");
  window_ = window;
  level_ = level;
  watcher_.setWindow(window);
}

ComRef<IDirectSound8> DirectSoundCore::acquire() {
  std::lock_guard lock(mutex_);
  openLocked();
  ++users_;
  return device_;
}

void DirectSoundCore::release() {
  std::lock_guard lock(mutex_);
  if (--users_ == 0) {
    watcher_.closeWhenIdle(CueWatcher::Clock::now() + kCloseAfter,
                           [this] { closeIfIdle(); });
  }
}

bool DirectSoundCore::isOpen() {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(device_);
}

void DirectSoundCore::closeIfIdle() {
  std::lock_guard lock(mutex_);
  if (users_ == 0) device_.reset();
}

}  // namespace pelliwick::win32
