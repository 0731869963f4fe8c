// The worker on its own: order, completion by ticket, failures handed to
// the waiter, waits that give up, a stop that leaves a stuck job behind, and
// the thread it is given; then the wait in slices that every waiter uses.
#include "platform/blocking/blocking_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace pelliwick {
namespace {

using std::chrono::milliseconds;
using Outcome = BlockingWorker::Outcome;

TEST(BlockingWorker, RunsJobsInOrderAndHandsEachOutcomeToItsTicket) {
  BlockingWorker worker;
  std::vector<int> ran;  // only the worker writes it until the wait
  std::vector<BlockingWorker::Ticket> tickets;
  for (int job = 0; job < 5; ++job) {
    tickets.push_back(worker.post([&ran, job] { ran.push_back(job); }));
  }
  const auto failing = worker.post([] { throw std::runtime_error("refused"); });
  EXPECT_EQ(worker.wait(tickets.back(), milliseconds(2000)), Outcome::Done);
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(worker.done(tickets.front()));
  EXPECT_THROW(worker.wait(failing, milliseconds(2000)), std::runtime_error);
  // An earlier ticket that has run is done at once, and a failure that was
  // handed over is not handed over again.
  EXPECT_EQ(worker.wait(tickets.front(), milliseconds::zero()), Outcome::Done);
}

TEST(BlockingWorker, AWaitTimesOutOrGivesUpAndTheStuckJobIsLeftBehind) {
  BlockingWorker worker;
  EXPECT_FALSE(worker.waitingSince());
  std::promise<void> release;
  auto released = release.get_future().share();
  const auto posted = std::chrono::steady_clock::now();
  const auto stuck = worker.post([released] { released.wait(); });
  const auto after = worker.post([] {});

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(worker.wait(stuck, milliseconds(50)), Outcome::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(50));
  EXPECT_FALSE(worker.done(after));
  // The stuck job shows from when it was posted, not from when it began.
  ASSERT_TRUE(worker.waitingSince());
  EXPECT_LE(*worker.waitingSince() - posted, milliseconds(20));

  std::atomic<int> asked = 0;
  EXPECT_EQ(
      worker.wait(stuck, milliseconds(5000), [&asked] { return ++asked == 3; }),
      Outcome::GaveUp);
  EXPECT_EQ(asked, 3);

  // The thread is stuck: stop returns after its limit instead of holding.
  EXPECT_FALSE(worker.stop(milliseconds(50)));
  release.set_value();
  EXPECT_EQ(worker.wait(after, milliseconds(2000)), Outcome::Done);
  EXPECT_FALSE(worker.waitingSince());
}

TEST(BlockingWorker, StopRunsWhatIsQueuedFirst) {
  std::atomic<int> ran = 0;
  BlockingWorker worker;
  for (int job = 0; job < 3; ++job) worker.post([&ran] { ++ran; });
  EXPECT_TRUE(worker.stop(milliseconds(2000)));
  EXPECT_EQ(ran, 3);
}

TEST(BlockingWorker, RunsOnTheThreadItsStarterGivesAndWalksAwayAtOnce) {
  std::atomic<int> started = 0;
  std::promise<void> release;
  auto released = release.get_future().share();
  std::thread kept;
  {
    BlockingWorker worker([&](std::function<void()> body) {
      ++started;
      kept = std::thread(std::move(body));
    });
    EXPECT_EQ(started, 1);
    worker.post([released] { released.wait(); });
    std::atomic<bool> ranLater = false;
    worker.post([&ranLater] { ranLater = true; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(worker.stop(milliseconds::zero()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(20));
    release.set_value();
    kept.join();  // what was queued still ran, on the old thread
    EXPECT_TRUE(ranLater);
  }
}

TEST(WaitAsking, SlicesTheWaitAndEndsOnArrivalLimitOrGiveUp) {
  std::vector<milliseconds> slices;
  int calls = 0;
  // Comes on the third look.
  EXPECT_EQ(waitAsking(
                [&](milliseconds slice) {
                  slices.push_back(slice);
                  return ++calls == 3;
                },
                milliseconds(5000), [] { return false; }, milliseconds(10)),
            Outcome::Done);
  EXPECT_EQ(slices, (std::vector<milliseconds>(3, milliseconds(10))));

  // Without a give-up the wait is one slice as long as what is left; a
  // limit that ran out still looks once.
  slices.clear();
  EXPECT_EQ(waitAsking(
                [&](milliseconds slice) {
                  slices.push_back(slice);
                  return true;
                },
                milliseconds(300), {}),
            Outcome::Done);
  ASSERT_EQ(slices.size(), 1u);
  EXPECT_GT(slices[0], milliseconds(290));
  EXPECT_EQ(
      waitAsking([](milliseconds) { return true; }, milliseconds::zero(), {}),
      Outcome::Done);

  // Nothing comes: the limit ends it, or the give-up when asked.
  const auto sleepFor = [](milliseconds slice) {
    std::this_thread::sleep_for(slice);
    return false;
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(waitAsking(sleepFor, milliseconds(30), {}), Outcome::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(30));
  int asked = 0;
  EXPECT_EQ(waitAsking(
                sleepFor, BlockingWorker::kForever,
                [&asked] { return ++asked == 2; }, milliseconds(1)),
            Outcome::GaveUp);
  EXPECT_EQ(asked, 2);
}

}  // namespace
}  // namespace pelliwick
