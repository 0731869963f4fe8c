#include "platform/mixer/doorbell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace pelliwick {
namespace {

using namespace std::chrono_literals;

// Sleeps on its own thread, so that a sleeper that never wakes fails the
// test instead of hanging it.
std::future<void> sleeper(Doorbell& bell, std::uint64_t seen) {
  return std::async(std::launch::async,
                    [&bell, seen] { bell.sleepPast(seen); });
}

TEST(Doorbell, ARingBetweenTheLookAndTheSleepIsNotMissed) {
  Doorbell bell;
  const std::uint64_t seen = bell.rings();
  bell.ring();
  auto sleeping = sleeper(bell, seen);
  EXPECT_EQ(sleeping.wait_for(1s), std::future_status::ready);
  bell.close();
}

TEST(Doorbell, ARingOrACloseWakesASleeper) {
  for (bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "close" : "ring");
    Doorbell bell;
    auto sleeping = sleeper(bell, bell.rings());
    EXPECT_EQ(sleeping.wait_for(20ms), std::future_status::timeout);
    closing ? bell.close() : bell.ring();
    EXPECT_EQ(sleeping.wait_for(1s), std::future_status::ready);
    bell.close();
  }
}

}  // namespace
}  // namespace pelliwick
