#include "platform/sdl_audio/device_link.h"

#include <cstring>

namespace pelliwick {

namespace {
DeviceLink::Clock::rep nowTicks() {
  return DeviceLink::Clock::now().time_since_epoch().count();
}
}  // namespace

struct DeviceTicket {
  std::shared_ptr<DeviceLink> link;
  unsigned number = 0;
};

std::shared_ptr<DeviceTicket> DeviceLink::newTicket() {
  return std::make_shared<DeviceTicket>(
      DeviceTicket{shared_from_this(), ++tickets_});
}

void DeviceLink::setMixer(std::shared_ptr<Mixer> mixer) {
  std::lock_guard lock(renderMutex_);
  mixer_ = std::move(mixer);
}

void DeviceLink::renderWith(const DeviceTicket& ticket) {
  live_ = ticket.number;
}

void DeviceLink::goLive(const DeviceTicket& ticket) {
  std::lock_guard lock(renderMutex_);
  live_ = ticket.number;
  lastAsked_ = nowTicks();
  asks_ = 0;
  quietPeriods_ = 0;
}

std::uint64_t DeviceLink::stopRendering() {
  std::lock_guard lock(renderMutex_);
  live_ = 0;
  return quietSeen_;
}

DeviceLink::Clock::duration DeviceLink::sinceAsked() const {
  return Clock::duration(nowTicks() - lastAsked_);
}

void DeviceLink::renderByClock(float* out, std::size_t frames) {
  std::lock_guard lock(renderMutex_);
  renderPeriod(out, frames);
}

void DeviceLink::renderPeriod(float* out, std::size_t frames) {
  const std::uint64_t seen = mixer_->soundsGiven();
  if (mixer_->render(out, frames)) {
    quietPeriods_ = 0;
    ++sounded_;
  } else {
    quietSeen_ = seen;
    ++quietPeriods_;
  }
}

void DeviceLink::callback(void* userdata, Uint8* stream, int length) {
  const auto& ticket = *static_cast<DeviceTicket*>(userdata);
  DeviceLink& link = *ticket.link;
  link.lastAsked_ = nowTicks();
  std::lock_guard lock(link.renderMutex_);
  if (link.live_ != ticket.number || !link.mixer_) {
    std::memset(stream, 0, static_cast<std::size_t>(length));
    return;
  }
  ++link.asks_;
  link.renderPeriod(reinterpret_cast<float*>(stream),
                    static_cast<std::size_t>(length) / (2 * sizeof(float)));
}

SDL_AudioDeviceID DeviceLink::openDevice(SDL_AudioSpec wanted,
                                         DeviceTicket& ticket,
                                         SDL_AudioSpec* obtained,
                                         int allowedChanges) {
  wanted.callback = &DeviceLink::callback;
  wanted.userdata = &ticket;
  return SDL_OpenAudioDevice(nullptr, 0, &wanted, obtained, allowedChanges);
}

}  // namespace pelliwick
