#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <limits>
#include <thread>

#include "platform/system/system_clock.h"
#include "platform/system/system_random.h"

namespace pelliwick {
namespace {

TEST(SystemClock, SecondsSinceMidnightMatchLocalTime) {
  SystemClock clock;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ASSERT_NE(localtime_r(&now, &local), nullptr);
  const double expected =
      local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  const float seconds = clock.secondsSinceMidnight();
  EXPECT_GE(seconds, 0.0f);
  EXPECT_LT(seconds, 86400.0f);
  // Generous, and allowing for midnight falling between the two readings.
  const double difference = seconds - expected;
  EXPECT_TRUE(std::abs(difference) < 5.0 || std::abs(difference) > 86390.0)
      << seconds << " vs " << expected;
}

TEST(SystemClock, MonotonicSecondsAdvance) {
  SystemClock clock;
  const double before = clock.monotonicSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const double after = clock.monotonicSeconds();
  EXPECT_GE(after - before, 0.015);
  EXPECT_LT(after - before, 10.0);
}

TEST(SystemRandom, ValuesStayBelowOne) {
  EXPECT_EQ(SystemRandom::toUnitInterval(0), 0.0);
  EXPECT_LT(
      SystemRandom::toUnitInterval(std::numeric_limits<std::uint64_t>::max()),
      1.0);
  SystemRandom random;
  for (int i = 0; i < 100000; ++i) {
    const double r = random.next();
    ASSERT_GE(r, 0.0);
    ASSERT_LT(r, 1.0);
  }
}

TEST(SystemRandom, ReseedingRepeatsTheSequence) {
  SystemRandom a;
  SystemRandom b;
  a.reseed(43210.5);
  b.reseed(43210.5);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.next(), b.next());
  const double first = [] {
    SystemRandom r;
    r.reseed(43210.5);
    return r.next();
  }();
  a.reseed(43210.5);
  EXPECT_EQ(a.next(), first);
}

TEST(SystemRandom, NearbySeedsGiveDifferentNumbers) {
  // Rounds started a second apart must not pick the same numbers.
  SystemRandom random;
  int same = 0;
  for (int second = 0; second < 100; ++second) {
    random.reseed(36000.0 + second);
    const int a = static_cast<int>(random.next() * 100);
    random.reseed(36000.0 + second + 1);
    const int b = static_cast<int>(random.next() * 100);
    same += a == b;
  }
  EXPECT_LT(same, 10);
}

TEST(SystemRandom, GuessesCoverOneToAHundred) {
  SystemRandom random;
  random.reseed(1.0);
  std::array<int, 100> counts{};
  const int draws = 100000;
  for (int i = 0; i < draws; ++i) {
    ++counts[static_cast<std::size_t>(random.next() * 100)];
  }
  for (int count : counts) {
    EXPECT_GT(count, draws / 100 / 2);
    EXPECT_LT(count, draws / 100 * 2);
  }
}

}  // namespace
}  // namespace pelliwick
