// The worker on its own: order, completion by ticket, failures handed to
// the waiter, waits that give up, and a stop that leaves a stuck job behind.
#include "speech_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelliwick {
namespace {

using std::chrono::milliseconds;
using Outcome = SpeechWorker::Outcome;

TEST(SpeechWorker, RunsJobsInOrderAndHandsEachOutcomeToItsTicket) {
  SpeechWorker worker;
  std::vector<int> ran;  // only the worker writes it until the wait
  std::vector<SpeechWorker::Ticket> tickets;
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

TEST(SpeechWorker, AWaitTimesOutOrGivesUpAndTheStuckJobIsLeftBehind) {
  SpeechWorker worker;
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

TEST(SpeechWorker, StopRunsWhatIsQueuedFirst) {
  std::atomic<int> ran = 0;
  SpeechWorker worker;
  for (int job = 0; job < 3; ++job) worker.post([&ran] { ++ran; });
  EXPECT_TRUE(worker.stop(milliseconds(2000)));
  EXPECT_EQ(ran, 3);
}

}  // namespace
}  // namespace pelliwick
