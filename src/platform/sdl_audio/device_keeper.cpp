// What this implements of DirectSound's device: a primary buffer that keeps
// playing for the program's whole life, whatever the sound server does.
// What it ignores: which device plays (always SDL's default), and the
// moments without one, when the mix is played by the clock into nothing.
#include "sdl_audio/device_keeper.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "failure.h"
#include "sdl_audio/sdl_thread.h"

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

std::int64_t nowTicks() { return Clock::now().time_since_epoch().count(); }

}  // namespace

// Shared with SDL's audio threads, which may outlive the keeper when their
// device is stuck in the server.
struct DeviceLink {
  std::mutex renderMutex;  // one renderer at a time: a device or the clock
  std::shared_ptr<Mixer> mixer;
  std::atomic<unsigned> live{0};  // the ticket whose device renders
  std::atomic<unsigned> tickets{0};
  std::atomic<std::int64_t> lastAsked{0};
  std::atomic<int> asks{0};  // by the live device since it went live
  std::atomic<int> quietPeriods{0};
  std::atomic<std::uint64_t> quietSeen{0};
  std::atomic<std::uint64_t> sounded{0};
  std::atomic<int> sdlCallsPending{0};
};

// The callback's view of one opened device.
struct DeviceTicket {
  std::shared_ptr<DeviceLink> link;
  unsigned number = 0;
};

struct PendingOpen {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;
  SDL_AudioDeviceID id = 0;
  std::string error;
  std::shared_ptr<DeviceTicket> ticket;
};

namespace {

// Caller holds link.renderMutex.
void renderPeriod(DeviceLink& link, float* out, std::size_t frames) {
  const std::uint64_t seen = link.mixer->soundsGiven();
  if (link.mixer->render(out, frames)) {
    link.quietPeriods = 0;
    ++link.sounded;
  } else {
    link.quietSeen = seen;
    ++link.quietPeriods;
  }
}

void callback(void* userdata, Uint8* stream, int length) {
  const auto& ticket = *static_cast<DeviceTicket*>(userdata);
  DeviceLink& link = *ticket.link;
  link.lastAsked = nowTicks();
  std::lock_guard lock(link.renderMutex);
  if (link.live != ticket.number || !link.mixer) {
    std::memset(stream, 0, static_cast<std::size_t>(length));
    return;
  }
  ++link.asks;
  renderPeriod(link, reinterpret_cast<float*>(stream),
               static_cast<std::size_t>(length) / (2 * sizeof(float)));
}

std::shared_ptr<DeviceTicket> newTicket(
    const std::shared_ptr<DeviceLink>& link) {
  return std::make_shared<DeviceTicket>(DeviceTicket{link, ++link->tickets});
}

SDL_AudioDeviceID openSdlDevice(SDL_AudioSpec wanted, DeviceTicket& ticket,
                                SDL_AudioSpec* obtained, int allowedChanges) {
  wanted.callback = &callback;
  wanted.userdata = &ticket;
  return SDL_OpenAudioDevice(nullptr, 0, &wanted, obtained, allowedChanges);
}

// SDL_CloseAudioDevice waits for the server, which may never answer: it
// runs on a thread of its own that nobody waits for beyond a limit.
void closeLater(const std::shared_ptr<DeviceLink>& link, SDL_AudioDeviceID id,
                std::shared_ptr<DeviceTicket> ticket) {
  ++link->sdlCallsPending;
  runDetached("pelliwick-close", [link, id, ticket = std::move(ticket)] {
    SDL_CloseAudioDevice(id);
    --link->sdlCallsPending;
  });
}

}  // namespace

DeviceKeeper::DeviceKeeper(const SDL_AudioSpec& wanted)
    : link_(std::make_shared<DeviceLink>()) {
  auto ticket = newTicket(link_);
  // The first open picks the rate; every later one asks for the same and
  // lets SDL convert.
  const SDL_AudioDeviceID id =
      openSdlDevice(wanted, *ticket, &spec_, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
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
    if (stopping_) return link_->sdlCallsPending == 0;
    stopping_ = true;
  }
  wake_.notify_all();
  if (mixer_) mixer_->stopSleeping();
  if (thread_.joinable()) {
    thread_.join();
  } else {
    retireLive();
  }
  const auto deadline = Clock::now() + kCloseLimit;
  while (link_->sdlCallsPending > 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(2ms);
  }
  return link_->sdlCallsPending == 0;
}

void DeviceKeeper::start(std::shared_ptr<Mixer> mixer) {
  mixer_ = std::move(mixer);
  {
    std::lock_guard lock(link_->renderMutex);
    link_->mixer = mixer_;
  }
  goLive(device_, ticket_);
  thread_ = std::thread([this] { run(); });
}

std::uint64_t DeviceKeeper::soundedPeriods() const { return link_->sounded; }

bool DeviceKeeper::deviceOpen() const { return link_->live != 0; }

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
  if (opening_) {
    std::lock_guard pending(opening_->mutex);
    opening_->abandoned = true;
    if (opening_->done && opening_->id != 0) {
      closeLater(link_, opening_->id, opening_->ticket);
    }
  }
}

void DeviceKeeper::watchLive(std::unique_lock<std::mutex>& lock) {
  if (SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED) {
    lose("the sound server dropped it");
    return;
  }
  const Clock::duration sinceAsked(nowTicks() - link_->lastAsked);
  if (sinceAsked > (link_->asks >= 2 ? kStalledAfter : kStartingStalledAfter)) {
    lose("the sound server stopped answering");
    return;
  }
  const int quietLimit = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(kQuietBeforeClose)
          .count() *
      spec_.freq / 1000 / spec_.samples);
  if (closeWhenQuiet_ && link_->quietPeriods >= quietLimit) {
    // A sound given after quietSeen_ rings the doorbell, and the wait for
    // it opens the device again.
    {
      std::lock_guard render(link_->renderMutex);
      quietSeen_ = link_->quietSeen;
    }
    retireLive();
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
    {
      std::unique_lock pending(opening_->mutex);
      opening_->finished.wait_for(pending, kOpenLimit,
                                  [&] { return opening_->done; });
      error = opening_->error;
    }
    if (takeOpened()) return;
    if (opening_) break;
    // Some drivers (dummy, disk) have one device only: the last one's close
    // may still be under way.
    const auto deadline = Clock::now() + kOpenLimit;
    while (link_->sdlCallsPending > 0 && Clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
  }
  lose(opening_ ? "the sound server does not answer" : error);
}

void DeviceKeeper::playByClock(std::unique_lock<std::mutex>& lock,
                               std::vector<float>& scratch) {
  if (takeOpened()) {
    std::fprintf(stderr, "pelliwick: the sound device is back\n");
    return;
  }
  const auto now = Clock::now();
  if (!opening_ && now >= nextTry_) {
    startOpen(false);
    nextTry_ = now + backOff_;
    backOff_ =
        std::min(2 * backOff_, std::chrono::milliseconds(kLongestBackOff));
  }
  const int quietLimit = spec_.freq / spec_.samples;
  if (link_->quietPeriods >= quietLimit) {
    // Nothing to play: sleep until there is, or until it is time to look
    // at the open again.
    mixer_->sleepUntilSound(link_->quietSeen,
                            std::min(nextTry_, now + kWatchEvery));
    nextPeriod_ = Clock::now();
    return;
  }
  {
    std::lock_guard render(link_->renderMutex);
    renderPeriod(*link_, scratch.data(), spec_.samples);
  }
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
          static_cast<double>(spec_.samples) / spec_.freq));
  nextPeriod_ = std::max(nextPeriod_ + period, now - period);
  lock.lock();
  wake_.wait_until(lock, nextPeriod_, [&] { return stopping_; });
}

void DeviceKeeper::startOpen(bool playAtOnce) {
  auto pending = std::make_shared<PendingOpen>();
  pending->ticket = newTicket(link_);
  // SDL's thread plays one period of silence, and then waits for the server,
  // if it finds its device paused: unpausing right after the open, on the
  // same thread, wins that race nearly always. Only while the clock plays
  // the mix must the keeper hand over first.
  if (playAtOnce) link_->live = pending->ticket->number;
  ++link_->sdlCallsPending;
  runDetached("pelliwick-open",
              [pending, playAtOnce, spec = spec_, link = link_] {
                const SDL_AudioDeviceID id =
                    openSdlDevice(spec, *pending->ticket, nullptr, 0);
                if (id != 0 && playAtOnce) SDL_PauseAudioDevice(id, 0);
                bool abandoned = false;
                {
                  std::lock_guard lock(pending->mutex);
                  pending->id = id;
                  if (id == 0) pending->error = SDL_GetError();
                  pending->done = true;
                  abandoned = pending->abandoned;
                }
                pending->finished.notify_all();
                if (abandoned && id != 0) SDL_CloseAudioDevice(id);
                --link->sdlCallsPending;
              });
  opening_ = std::move(pending);
}

bool DeviceKeeper::takeOpened() {
  if (!opening_) return false;
  {
    std::lock_guard lock(opening_->mutex);
    if (!opening_->done) return false;
  }
  const auto opened = std::move(opening_);
  opening_.reset();
  if (opened->id == 0) return false;
  goLive(opened->id, opened->ticket);
  return true;
}

void DeviceKeeper::goLive(SDL_AudioDeviceID id,
                          std::shared_ptr<DeviceTicket> ticket) {
  {
    std::lock_guard render(link_->renderMutex);
    link_->live = ticket->number;
    link_->lastAsked = nowTicks();
    link_->asks = 0;
    link_->quietPeriods = 0;
  }
  device_ = id;
  ticket_ = std::move(ticket);
  state_ = State::Live;
  SDL_PauseAudioDevice(device_, 0);
}

void DeviceKeeper::retireLive() {
  {
    std::lock_guard render(link_->renderMutex);
    link_->live = 0;
  }
  if (device_ != 0) closeLater(link_, device_, std::move(ticket_));
  device_ = 0;
  ticket_.reset();
}

void DeviceKeeper::lose(const std::string& reason) {
  retireLive();
  std::fprintf(stderr,
               "pelliwick: the sound device was lost (%s); the game goes on "
               "without sound until it is back\n",
               reason.c_str());
  state_ = State::Lost;
  backOff_ = kFirstBackOff;
  nextTry_ = Clock::now();
  nextPeriod_ = Clock::now();
}

}  // namespace pelliwick
