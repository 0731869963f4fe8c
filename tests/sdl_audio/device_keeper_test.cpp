// The keeper's SDL calls and its reports, on SDL's dummy and disk drivers.
// A disk driver writing into a FIFO stands for a sound server that stops
// answering: its open waits for a reader, and its writes for the reader to
// drain them.
#include "platform/sdl_audio/device_keeper.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/report.h"
#include "platform/sdl_audio/audio_format.h"
#include "platform/sdl_audio/device_calls.h"
#include "platform/sdl_audio/device_link.h"
#include "platform/sdl_audio/sdl_audio_output.h"
#include "platform/sdl_audio/sdl_thread.h"
#include "wav_writer.h"

namespace pelliwick {
namespace {

using namespace std::chrono_literals;

void useDiskDriver(const std::filesystem::path& file) {
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
}

// SDL's disk driver writing into a FIFO that is drained while told to, as a
// sound server would; the dummy driver again at the end.
class FifoDevice {
 public:
  FifoDevice() {
    std::signal(SIGPIPE, SIG_IGN);  // writes once the reader has gone
    EXPECT_EQ(::mkfifo(fifo().c_str(), 0600), 0);
    fd_ = ::open(fifo().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    thread_ = std::thread([this] {
      char samples[16384];
      while (!done_) {
        if (!draining_ || ::read(fd_, samples, sizeof samples) <= 0) {
          std::this_thread::sleep_for(5ms);
        }
      }
    });
    useDiskDriver(fifo());
  }
  ~FifoDevice() {
    done_ = true;
    thread_.join();
    ::close(fd_);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  std::filesystem::path fifo() const { return folder_.path() / "device.fifo"; }
  std::filesystem::path folder() const { return folder_.path(); }
  void drain(bool on) { draining_ = on; }

 private:
  test::ScratchFolder folder_;
  int fd_ = -1;
  std::atomic<bool> draining_{true};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class Lines : public Reporter {
 public:
  Lines() { setReporter(this); }
  ~Lines() override { setReporter(nullptr); }
  void report(std::string_view line) override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
    added_.notify_all();
  }
  bool waitFor(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return added_.wait_for(lock, limit, [&] { return lines_.size() >= count; });
  }
  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable added_;
  std::vector<std::string> lines_;
};

class SdlAudio {
 public:
  SdlAudio() {
    EXPECT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
  }
  ~SdlAudio() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }
};

// SDL frees what it keeps per thread only on threads of its own.
TEST(SdlThread, AWorkerRunsOnANamedThreadOfSdls) {
  BlockingWorker worker(sdlThread("pelliwick-test"));
  char name[32] = {};
  const auto named = worker.post(
      [&name] { pthread_getname_np(pthread_self(), name, sizeof name); });
  ASSERT_EQ(worker.wait(named, 2000ms), BlockingWorker::Outcome::Done);
  EXPECT_STREQ(name, "pelliwick-test");
}

// What the output asks for, as the device grants it.
TEST(DeviceKeeper, OpensWithAShortPeriodAtTheDevicesRate) {
  SdlAudio sdl;
  DeviceKeeper keeper(wantedAudioFormat());
  EXPECT_GE(keeper.spec().freq, 22050);
  EXPECT_GT(keeper.spec().samples, 0);
  EXPECT_LE(keeper.spec().samples, 512);
  EXPECT_TRUE(keeper.shutDown());
}

// The dummy driver has one device only: an open fails while another is
// open, and succeeds again once that one is closed.
TEST(DeviceCalls, OpensClosesAndAnOpenNobodyTakesClosesItsDevice) {
  SdlAudio sdl;
  auto link = std::make_shared<DeviceLink>();
  DeviceCalls calls;
  const auto open = [&] {
    calls.startOpen(wantedAudioFormat(), link->newTicket(), false);
    EXPECT_TRUE(calls.opening());
    calls.waitForOpen(2000ms);
    auto opened = calls.takeOpened();
    EXPECT_FALSE(calls.opening());
    return opened.value_or(DeviceCalls::Opened{0, nullptr, "still opening"});
  };
  auto first = open();
  ASSERT_NE(first.id, 0u) << first.error;
  const auto refused = open();
  EXPECT_EQ(refused.id, 0u);
  EXPECT_NE(refused.error, "");
  calls.close(first.id, first.ticket);
  EXPECT_TRUE(calls.waitIdle(2000ms));

  calls.startOpen(wantedAudioFormat(), link->newTicket(), false);
  calls.letOpenGo();
  EXPECT_FALSE(calls.opening());
  EXPECT_TRUE(calls.waitIdle(2000ms));
  const auto again = open();
  ASSERT_NE(again.id, 0u) << again.error;
  calls.close(again.id, again.ticket);
  EXPECT_TRUE(calls.waitIdle(2000ms));
}

// A close waits for the device's thread, stuck in a write to a FIFO nobody
// drains: a later close does not wait behind it.
TEST(DeviceCalls, AStuckCallHoldsNoLaterOneAndCountsUntilItReturns) {
  FifoDevice device;
  {
    SdlAudio sdl;
    auto link = std::make_shared<DeviceLink>();
    DeviceCalls calls;
    const auto open = [&](const std::filesystem::path& file) {
      useDiskDriver(file);
      calls.startOpen(wantedAudioFormat(), link->newTicket(), true);
      calls.waitForOpen(2000ms);
      return calls.takeOpened().value_or(DeviceCalls::Opened{});
    };
    const auto stuck = open(device.fifo());
    const auto free = open(device.folder() / "capture.raw");
    ASSERT_NE(stuck.id, 0u) << stuck.error;
    ASSERT_NE(free.id, 0u) << free.error;
    device.drain(false);
    std::this_thread::sleep_for(500ms);  // the FIFO fills
    calls.close(stuck.id, stuck.ticket);
    calls.close(free.id, free.ticket);
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (SDL_GetAudioDeviceStatus(free.id) != SDL_AUDIO_STOPPED &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(SDL_GetAudioDeviceStatus(free.id), SDL_AUDIO_STOPPED)
        << "closed only after the stuck close";
    EXPECT_FALSE(calls.waitIdle(100ms)) << "the stuck close was not counted";
    device.drain(true);
    EXPECT_TRUE(calls.waitIdle(2000ms));
  }
}

// Told through the program's reporter, as whole lines of their own.
TEST(DeviceKeeper, ReportsTheDeviceLostAndBack) {
  Lines lines;
  {
    FifoDevice device;
    SdlAudioOutput output;
    output.mixer();
    device.drain(false);
    EXPECT_TRUE(lines.waitFor(1, 5000ms));
    device.drain(true);
    EXPECT_TRUE(lines.waitFor(2, 5000ms));
  }
  EXPECT_EQ(lines.lines(),
            (std::vector<std::string>{
                "the sound device was lost (the sound server stopped "
                "answering); the game goes on without sound until it is back",
                "the sound device is back"}));
}

}  // namespace
}  // namespace pelliwick
