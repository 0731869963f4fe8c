// What this implements of DirectSound's device: a primary buffer that keeps
// playing for the program's whole life, whatever the sound server does.
// What it ignores: which device plays (always SDL's default), and the
// moments without one, when the mix is played by the clock into nothing.
#include "platform/sdl_audio/device_keeper.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/report.h"
#include "platform/sdl_audio/device_link.h"

namespace pelliwick {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Long enough that a game going from one prompt to the next keeps its
// device; short enough that the server is idle well within ten seconds.
constexpr auto kQuietBeforeClose = 3s;
// A healthy device asks every period (about 12 ms) once it runs. Its second
// ask may come up to 2 s after its first: PulseAudio's null sink wakes
// that late for a new stream.
constexpr auto kStalledAfter = 500ms;
constexpr auto kStartingStalledAfter = 3s;
constexpr auto kWatchEvery = 100ms;
// Longer than any open of a server that answers (about 2 ms).
constexpr auto kOpenLimit = 200ms;
constexpr auto kFirstBackOff = 100ms;
constexpr auto kLongestBackOff = 500ms;
// What an exit gives a close; the tail of a last sentence on a real sink is
// shorter than that.
constexpr auto kCloseLimit = 150ms;

}  // namespace

DeviceKeeper::DeviceKeeper(const SDL_AudioSpec& wanted)
    : link_(std::make_shared<DeviceLink>()) {
  auto ticket = link_->newTicket();
  // The first open picks the rate; every later one asks for the same and
  // lets SDL convert.
  const SDL_AudioDeviceID id = DeviceLink::openDevice(
      wanted, *ticket, &spec_, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (id == 0) {
    throw Failure(std::string("cannot open the audio device: ") +
                  SDL_GetError());
  }
  device_ = id;
  ticket_ = std::move(ticket);
  spec_.callback = nullptr;
  spec_.userdata = nullptr;
  // The disk driver's file is a capture; reopening would start it again.
  const char* driver = SDL_GetCurrentAudioDriver();
  closeWhenQuiet_ = driver == nullptr || std::string(driver) != "disk";
}

bool DeviceKeeper::shutDown() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return calls_.waitIdle(std::chrono::milliseconds::zero());
    stopping_ = true;
  }
  wake_.notify_all();
  if (mixer_) mixer_->stopSleeping();
  if (thread_.joinable()) {
    thread_.join();
  } else {
    retireLive();
  }
  return calls_.waitIdle(kCloseLimit);
}

void DeviceKeeper::start(std::shared_ptr<Mixer> mixer) {
  mixer_ = std::move(mixer);
  link_->setMixer(mixer_);
  goLive(device_, ticket_);
  thread_ = std::thread([this] { run(); });
}

std::uint64_t DeviceKeeper::soundedPeriods() const { return link_->sounded(); }

bool DeviceKeeper::deviceOpen() const { return link_->live(); }

void DeviceKeeper::run() {
  std::vector<float> scratch(2 * static_cast<std::size_t>(spec_.samples));
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    switch (state_) {
      case State::Live:
        watchLive(lock);
        break;
      case State::Quiet:
        waitForSound(lock);
        break;
      case State::Lost:
        playByClock(lock, scratch);
        break;
    }
    if (!lock.owns_lock()) lock.lock();
  }
  lock.unlock();
  retireLive();
  calls_.letOpenGo();
}

void DeviceKeeper::watchLive(std::unique_lock<std::mutex>& lock) {
  if (SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED) {
    lose("the sound server dropped it");
    return;
  }
  if (link_->sinceAsked() >
      (link_->asks() >= 2 ? kStalledAfter : kStartingStalledAfter)) {
    lose("the sound server stopped answering");
    return;
  }
  const int quietLimit = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(kQuietBeforeClose)
          .count() *
      spec_.freq / 1000 / spec_.samples);
  if (closeWhenQuiet_ && link_->quietPeriods() >= quietLimit) {
    // A sound given after quietSeen_ rings the doorbell, and the wait for
    // it opens the device again.
    quietSeen_ = retireLive();
    state_ = State::Quiet;
    return;
  }
  lock.lock();
  wake_.wait_for(lock, kWatchEvery, [&] { return stopping_; });
}

void DeviceKeeper::waitForSound(std::unique_lock<std::mutex>& lock) {
  mixer_->sleepUntilSound(quietSeen_);
  lock.lock();
  if (stopping_) return;
  lock.unlock();
  std::string error;
  for (int attempt = 0; attempt < 2; ++attempt) {
    startOpen(true);
    calls_.waitForOpen(kOpenLimit);
    if (takeOpened(&error)) return;
    if (calls_.opening()) break;
    // Some drivers (dummy, disk) have one device only: the last one's close
    // may still be under way.
    calls_.waitIdle(kOpenLimit);
  }
  lose(calls_.opening() ? "the sound server does not answer" : error);
}

void DeviceKeeper::playByClock(std::unique_lock<std::mutex>& lock,
                               std::vector<float>& scratch) {
  if (takeOpened()) {
    report("the sound device is back");
    return;
  }
  const auto now = Clock::now();
  if (!calls_.opening() && now >= nextTry_) {
    startOpen(false);
    nextTry_ = now + backOff_;
    backOff_ =
        std::min(2 * backOff_, std::chrono::milliseconds(kLongestBackOff));
  }
  const int quietLimit = spec_.freq / spec_.samples;
  if (link_->quietPeriods() >= quietLimit) {
    // Nothing to play: sleep until there is, or until it is time to look
    // at the open again.
    mixer_->sleepUntilSound(link_->quietSeen(),
                            std::min(nextTry_, now + kWatchEvery));
    nextPeriod_ = Clock::now();
    return;
  }
  link_->renderByClock(scratch.data(), spec_.samples);
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
          static_cast<double>(spec_.samples) / spec_.freq));
  nextPeriod_ = std::max(nextPeriod_ + period, now - period);
  lock.lock();
  wake_.wait_until(lock, nextPeriod_, [&] { return stopping_; });
}

void DeviceKeeper::startOpen(bool playAtOnce) {
  auto ticket = link_->newTicket();
  // SDL's thread plays one period of silence, and then waits for the server,
  // if it finds its device paused: unpausing right after the open, on the
  // same thread, wins that race nearly always. Only while the clock plays
  // the mix must the keeper hand over first.
  if (playAtOnce) link_->renderWith(*ticket);
  calls_.startOpen(spec_, std::move(ticket), playAtOnce);
}

bool DeviceKeeper::takeOpened(std::string* error) {
  auto opened = calls_.takeOpened();
  if (!opened) return false;
  if (opened->id == 0) {
    if (error) *error = opened->error;
    return false;
  }
  goLive(opened->id, std::move(opened->ticket));
  return true;
}

void DeviceKeeper::goLive(SDL_AudioDeviceID id,
                          std::shared_ptr<DeviceTicket> ticket) {
  link_->goLive(*ticket);
  device_ = id;
  ticket_ = std::move(ticket);
  state_ = State::Live;
  SDL_PauseAudioDevice(device_, 0);
}

std::uint64_t DeviceKeeper::retireLive() {
  const std::uint64_t quietSeen = link_->stopRendering();
  if (device_ != 0) calls_.close(device_, std::move(ticket_));
  device_ = 0;
  ticket_.reset();
  return quietSeen;
}

void DeviceKeeper::lose(const std::string& reason) {
  retireLive();
  report("the sound device was lost (" + reason +
         "); the game goes on without sound until it is back");
  state_ = State::Lost;
  backOff_ = kFirstBackOff;
  nextTry_ = Clock::now();
  nextPeriod_ = Clock::now();
}

}  // namespace pelliwick
