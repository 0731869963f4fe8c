#include "window_contract.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/failure.h"

namespace pelliwick::contract {
namespace {

using namespace std::chrono_literals;
using Keys = std::vector<int>;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

// Runs `action` on another thread after `delay`; joined when it goes.
class Later {
 public:
  Later(std::chrono::milliseconds delay, std::function<void()> action)
      : thread_([delay, action = std::move(action)] {
          std::this_thread::sleep_for(delay);
          action();
        }) {}
  ~Later() { thread_.join(); }
  Later(const Later&) = delete;
  Later& operator=(const Later&) = delete;

 private:
  std::thread thread_;
};

// Should a wait not wake, types a key after a few seconds to end it, unless
// it has gone by then.
class Rescue {
 public:
  explicit Rescue(WindowDriver& driver)
      : thread_([this, &driver] {
          std::unique_lock lock(mutex_);
          if (!gone_.wait_for(lock, 3s, [this] { return done_; })) {
            driver.typeKey(123);
          }
        }) {}
  ~Rescue() {
    {
      const std::lock_guard lock(mutex_);
      done_ = true;
    }
    gone_.notify_all();
    thread_.join();
  }
  Rescue(const Rescue&) = delete;
  Rescue& operator=(const Rescue&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable gone_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace

void WindowContract::SetUp() {
  driver = GetParam().make();
  driver->window().setKeyDownHandler(
      [this](int code, int) { keys.push_back(code); });
}

void WindowContract::TearDown() { driver.reset(); }

TEST_P(WindowContract, KeyDownsReachTheHandlerInOrderOnlyInsideThePump) {
  WindowSystem& window = driver->window();
  for (const int code : {65, 53, 13, 16, 115}) driver->typeKey(code);
  // Neither a wait nor a look for a close runs a key.
  window.idle(WaitingFor::Key, 20ms);
  EXPECT_FALSE(driver->closeRequested());
  EXPECT_TRUE(keys.empty());
  window.pumpEvents();
  EXPECT_EQ(keys, (Keys{65, 53, 13, 16, 115}));
  window.pumpEvents();
  EXPECT_EQ(keys.size(), 5u);
}

TEST_P(WindowContract, IdleWakesAtOnceForAKeyOrAWakeFromAnotherThread) {
  WindowSystem& window = driver->window();
  window.pumpEvents();
  for (const bool byKey : {true, false}) {
    SCOPED_TRACE(byKey ? "a key" : "a wake");
    keys.clear();
    double took = 0;
    {
      const Rescue rescue(*driver);
      const Later wake(30ms, [this, byKey] {
        byKey ? driver->typeKey(89) : driver->wake();
      });
      const auto start = std::chrono::steady_clock::now();
      window.idle(byKey ? WaitingFor::Key : WaitingFor::Sound, kUntilAnEvent);
      took = secondsSince(start);
    }
    EXPECT_LT(took, 1.0);
    EXPECT_GE(took, 0.02);
    window.pumpEvents();
    EXPECT_EQ(keys, byKey ? Keys{89} : Keys{}) << "123: woken by the rescue";
  }
}

TEST_P(WindowContract, IdleReturnsOnTimeAndAtOnceForWhatIsPending) {
  WindowSystem& window = driver->window();
  window.pumpEvents();
  auto start = std::chrono::steady_clock::now();
  window.idle(WaitingFor::Time, 50ms);
  double took = secondsSince(start);
  EXPECT_GE(took, 0.045);
  EXPECT_LT(took, 0.5);  // generous under load

  start = std::chrono::steady_clock::now();
  window.idle(WaitingFor::Time, 0us);
  window.idle(WaitingFor::Time, 300us);
  EXPECT_LT(secondsSince(start), 0.02);

  driver->typeKey(65);
  start = std::chrono::steady_clock::now();
  window.idle(WaitingFor::Key, 5s);
  took = secondsSince(start);
  EXPECT_LT(took, 1.0);
  window.pumpEvents();
  EXPECT_EQ(keys, Keys{65});
}

TEST_P(WindowContract, ACloseEndsEveryPumpFromThenOn) {
  WindowSystem& window = driver->window();
  driver->typeKey(49);
  driver->closeByPlayer();
  driver->typeKey(50);
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
  EXPECT_EQ(keys, Keys{49});
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
  EXPECT_TRUE(driver->closeRequested());
  EXPECT_EQ(keys, Keys{49});
}

TEST_P(WindowContract, CloseRequestedSeesACloseAndRunsNoKey) {
  WindowSystem& window = driver->window();
  driver->typeKey(49);
  driver->typeKey(50);
  EXPECT_FALSE(driver->closeRequested());
  driver->typeKey(53);
  EXPECT_FALSE(driver->closeRequested());
  EXPECT_TRUE(keys.empty());
  // The keys waited for the pump.
  window.pumpEvents();
  EXPECT_EQ(keys, (Keys{49, 50, 53}));

  driver->typeKey(65);
  driver->closeByPlayer();
  EXPECT_TRUE(driver->closeRequested());
  EXPECT_EQ(keys, (Keys{49, 50, 53}));
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
}

TEST_P(WindowContract, AStopFromAnotherThreadWakesAWaitAndEndsThePump) {
  WindowSystem& window = driver->window();
  window.pumpEvents();
  double took = 0;
  {
    const Rescue rescue(*driver);
    const Later stop(30ms, [this] { driver->requestStop(); });
    const auto start = std::chrono::steady_clock::now();
    window.idle(WaitingFor::Key, kUntilAnEvent);
    took = secondsSince(start);
  }
  EXPECT_LT(took, 1.0);
  EXPECT_TRUE(driver->closeRequested());
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
  EXPECT_TRUE(keys.empty());
}

TEST_P(WindowContract, AfterCloseNothingRuns) {
  WindowSystem& window = driver->window();
  driver->typeKey(78);
  window.close();
  EXPECT_EQ(window.handle(), nullptr);
  EXPECT_NO_THROW(window.pumpEvents());
  EXPECT_FALSE(driver->closeRequested());
  const auto start = std::chrono::steady_clock::now();
  window.idle(WaitingFor::Key, 20ms);
  EXPECT_LT(secondsSince(start), 0.5);
  EXPECT_NO_THROW(window.pumpEvents());
  EXPECT_TRUE(keys.empty());
}

}  // namespace pelliwick::contract
