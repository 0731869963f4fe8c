#pragma once

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/mixer/mixer.h"

namespace pelliwick {

// What one opened device's callback holds; kept until the device is closed.
struct DeviceTicket;

// What SDL's audio threads share with the keeper: the mixer, which device
// renders it, and how that device has been asking. Held by every device's
// ticket, since a thread whose device is stuck in the server may outlive the
// keeper. One renderer at a time: the live device or the clock.
class DeviceLink : public std::enable_shared_from_this<DeviceLink> {
 public:
  using Clock = std::chrono::steady_clock;

  // For the next device to open.
  std::shared_ptr<DeviceTicket> newTicket();
  void setMixer(std::shared_ptr<Mixer> mixer);

  // From now on the device of `ticket` renders, and the others play silence.
  void renderWith(const DeviceTicket& ticket);
  // The same, with its watch started afresh.
  void goLive(const DeviceTicket& ticket);
  // No device renders any more. Returns the mixer's soundsGiven() before the
  // last silent period.
  std::uint64_t stopRendering();

  bool live() const { return live_ != 0; }
  Clock::duration sinceAsked() const;
  // Periods the live device asked for since it went live.
  int asks() const { return asks_; }
  // Silent periods in a row.
  int quietPeriods() const { return quietPeriods_; }
  std::uint64_t quietSeen() const { return quietSeen_; }
  // Periods that carried sound, by a device or by the clock.
  std::uint64_t sounded() const { return sounded_; }

  // One period rendered for no device, as the clock plays the mix.
  void renderByClock(float* out, std::size_t frames);

  // Opens SDL's default device with `wanted` for `ticket`'s callback: 0 when
  // SDL cannot, with its reason in SDL_GetError().
  static SDL_AudioDeviceID openDevice(SDL_AudioSpec wanted,
                                      DeviceTicket& ticket,
                                      SDL_AudioSpec* obtained,
                                      int allowedChanges);

 private:
  static void callback(void* userdata, Uint8* stream, int length);
  // Caller holds renderMutex_.
  void renderPeriod(float* out, std::size_t frames);

  std::mutex renderMutex_;
  std::shared_ptr<Mixer> mixer_;
  std::atomic<unsigned> live_{0};  // the ticket whose device renders
  std::atomic<unsigned> tickets_{0};
  std::atomic<Clock::rep> lastAsked_{0};
  std::atomic<int> asks_{0};
  std::atomic<int> quietPeriods_{0};
  std::atomic<std::uint64_t> quietSeen_{0};
  std::atomic<std::uint64_t> sounded_{0};
};

}  // namespace pelliwick
