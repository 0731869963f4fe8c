#pragma once

#include <SDL.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/mixer/mixer.h"
#include "platform/sdl_audio/device_calls.h"

namespace pelliwick {

class DeviceLink;

// Keeps the SDL audio device that plays the mixer open while there is sound
// to play. It opens the device again, with the same format, when the sound
// server drops it or stops answering; closes it after a few seconds of
// silence, so that a waiting game costs the sound server nothing; and plays
// the mixer by the clock while no device can be had, so that cues and
// speech still end. No SDL call that can block on the server runs on the
// keeper's thread or in the destructor without a time limit.
class DeviceKeeper {
 public:
  // Opens the device at once; throws Failure with SDL's reason when it
  // cannot. `wanted.freq` is a preference: the device's own rate is taken.
  explicit DeviceKeeper(const SDL_AudioSpec& wanted);
  ~DeviceKeeper() { shutDown(); }
  DeviceKeeper(const DeviceKeeper&) = delete;
  DeviceKeeper& operator=(const DeviceKeeper&) = delete;

  const SDL_AudioSpec& spec() const { return spec_; }
  // Renders once `mixer`, made at spec().freq, is given; starts the keeper.
  void start(std::shared_ptr<Mixer> mixer);

  // Periods that carried sound to a device so far.
  std::uint64_t soundedPeriods() const;
  bool deviceOpen() const;
  // Stops the keeper and closes the device, waiting for SDL a fraction of a
  // second at most. Returns false when an open or close is still stuck in
  // the server: SDL's audio must then not be shut down, since that would
  // wait for it.
  bool shutDown();

 private:
  enum class State { Live, Quiet, Lost };

  void run();
  void watchLive(std::unique_lock<std::mutex>& lock);
  void waitForSound(std::unique_lock<std::mutex>& lock);
  void playByClock(std::unique_lock<std::mutex>& lock,
                   std::vector<float>& scratch);

  // `playAtOnce`: nothing else renders, the new device may start at once.
  void startOpen(bool playAtOnce);
  // Takes the finished open, if any: true when a device went live. SDL's
  // reason goes to `error` when it failed.
  bool takeOpened(std::string* error = nullptr);
  void goLive(SDL_AudioDeviceID id, std::shared_ptr<DeviceTicket> ticket);
  // Returns what DeviceLink::stopRendering() does.
  std::uint64_t retireLive();
  void lose(const std::string& reason);

  const std::shared_ptr<DeviceLink> link_;
  SDL_AudioSpec spec_{};
  std::shared_ptr<Mixer> mixer_;
  bool closeWhenQuiet_ = true;

  std::mutex mutex_;  // guards stopping_ for the keeper's waits
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;

  // The keeper thread's own, after start().
  State state_ = State::Live;
  SDL_AudioDeviceID device_ = 0;
  std::shared_ptr<DeviceTicket> ticket_;
  DeviceCalls calls_;
  std::uint64_t quietSeen_ = 0;
  std::chrono::steady_clock::time_point nextTry_;
  std::chrono::milliseconds backOff_{0};
  std::chrono::steady_clock::time_point nextPeriod_;
};

}  // namespace pelliwick
