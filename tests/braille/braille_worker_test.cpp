// The worker over a double of the braille service's connection.
#include "platform/brlapi/braille_worker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/failure.h"

namespace pelliwick::braille {
namespace {

using namespace std::chrono_literals;

// The service as the connections see it; shared with threads that may
// outlive a test.
struct Service {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> calls;  // "take", "give back", "text|cursor"
  int connects = 0;
  int attempts = 0;  // connects begun, stalled or not
  bool absent = false;
  bool stalled = false;  // every call waits until it is not
  std::atomic<bool> failWrites = false;
  std::deque<Pan> pans;
  int keys[2] = {-1, -1};  // a pipe: readable when pans wait

  Service() {
    if (pipe(keys) != 0) throw std::runtime_error("no pipe");
  }
  ~Service() {
    close(keys[0]);
    close(keys[1]);
  }
  void call(const std::string& what) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return !stalled; });
    calls.push_back(what);
    changed.notify_all();
  }
  void press(Pan pan) {
    std::lock_guard lock(mutex);
    pans.push_back(pan);
    [[maybe_unused]] auto written = write(keys[1], "k", 1);
  }
  void setStalled(bool value) {
    std::lock_guard lock(mutex);
    stalled = value;
    changed.notify_all();
  }
  // Waits until the calls end with `last`.
  bool waitFor(const std::string& last) {
    std::unique_lock lock(mutex);
    return changed.wait_for(
        lock, 5s, [&] { return !calls.empty() && calls.back() == last; });
  }
};

class FakeConnection : public Connection {
 public:
  explicit FakeConnection(std::shared_ptr<Service> service)
      : service_(std::move(service)) {}
  std::size_t columns() override { return 10; }
  int fileDescriptor() override { return service_->keys[0]; }
  void takeDisplay() override { service_->call("take"); }
  void giveBack() override { service_->call("give back"); }
  void write(const Window& window) override {
    if (service_->failWrites) {
      service_->call("lost");
      throw Failure("gone");
    }
    service_->call(std::string(window.text.begin(), window.text.end()) + "|" +
                   (window.cursor ? std::to_string(*window.cursor) : "-"));
  }
  std::vector<Pan> readPans() override {
    std::lock_guard lock(service_->mutex);
    char drained[16];
    [[maybe_unused]] auto got = read(service_->keys[0], drained, 1);
    std::vector<Pan> pans(service_->pans.begin(), service_->pans.end());
    service_->pans.clear();
    return pans;
  }

 private:
  std::shared_ptr<Service> service_;
};

Connect connectTo(const std::shared_ptr<Service>& service) {
  return [service]() -> std::unique_ptr<Connection> {
    // Counted, judged and told under one lock: a test that sees the call
    // and then brings the service back must not change this attempt.
    std::unique_lock lock(service->mutex);
    ++service->attempts;
    service->changed.notify_all();
    service->changed.wait(lock, [&] { return !service->stalled; });
    ++service->connects;
    const bool absent = service->absent;
    service->calls.push_back("connect");
    service->changed.notify_all();
    if (absent) throw Failure("no brltty");
    return std::make_unique<FakeConnection>(service);
  };
}

const Limits kShort{50ms, 50ms};

TEST(BrailleWorker, ShowsTheNewestTextWhileFocusedAndPansThroughIt) {
  auto service = std::make_shared<Service>();
  {
    BrailleWorker display(connectTo(service), kShort);
    display.show(L"hidden");  // no focus yet: kept for later
    display.setFocused(true);
    ASSERT_TRUE(service->waitFor("hidden|-"));
    display.show(L"aaaa bbbb cccc");
    ASSERT_TRUE(service->waitFor("aaaa bbbb |-"));
    service->press(Pan::Forward);
    ASSERT_TRUE(service->waitFor("cccc|-"));
    display.showEntry(L"guess", L"12");
    ASSERT_TRUE(service->waitFor("guess 12|8"));
    display.setFocused(false);
    ASSERT_TRUE(service->waitFor("give back"));
    display.show(L"later");
    display.setFocused(true);
    ASSERT_TRUE(service->waitFor("later|-"));
  }
  // The end of the program gives the display back.
  std::lock_guard lock(service->mutex);
  EXPECT_EQ(service->calls.back(), "give back");
  EXPECT_EQ(service->connects, 1);
}

TEST(BrailleWorker, ALostServiceIsFoundAgainAtTheNextText) {
  auto service = std::make_shared<Service>();
  service->absent = true;
  BrailleWorker display(connectTo(service), kShort);
  display.setFocused(true);
  display.show(L"one");
  ASSERT_TRUE(service->waitFor("connect"));
  {
    std::lock_guard lock(service->mutex);
    service->absent = false;
  }
  display.show(L"two");
  ASSERT_TRUE(service->waitFor("two|-"));

  service->failWrites = true;  // brltty dies
  display.show(L"three");
  ASSERT_TRUE(service->waitFor("lost"));
  service->failWrites = false;
  display.show(L"four");
  ASSERT_TRUE(service->waitFor("four|-"));
  std::lock_guard lock(service->mutex);
  EXPECT_EQ(service->connects, 3);
}

TEST(BrailleWorker, AStalledServiceHoldsNeitherTheGameNorItsEnd) {
  for (const bool whileConnecting : {true, false}) {
    SCOPED_TRACE(whileConnecting ? "stalled at connect" : "stalled later");
    auto service = std::make_shared<Service>();
    const auto start = std::chrono::steady_clock::now();
    {
      BrailleWorker display(connectTo(service), kShort);
      display.setFocused(true);
      display.show(L"shown");
      if (!whileConnecting) {
        ASSERT_TRUE(service->waitFor("shown|-"));
      }
      service->setStalled(true);
      for (int i = 0; i < 100; ++i) display.show(L"text " + std::to_wstring(i));
      display.setFocused(false);
    }
    // Generous: without the limits this would never end.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    service->setStalled(false);
    // Once it answers again the newest text is shown, or the display given
    // back; nothing piles up.
    std::lock_guard lock(service->mutex);
    EXPECT_LE(service->calls.size(), 5u);
  }
}

// A connect that outlasts its limit is waited for, not started again at
// each new text: once the service answers, that one connect shows the
// newest text.
TEST(BrailleWorker, ALateConnectIsTakenWhenItEndsAndNotRepeated) {
  auto service = std::make_shared<Service>();
  service->setStalled(true);
  BrailleWorker display(connectTo(service), kShort);
  display.setFocused(true);
  display.show(L"one");
  {
    std::unique_lock lock(service->mutex);
    ASSERT_TRUE(service->changed.wait_for(
        lock, 5s, [&] { return service->attempts == 1; }));
  }
  for (const wchar_t* text : {L"two", L"three"}) {
    std::this_thread::sleep_for(120ms);  // beyond the connect limit
    display.show(text);
  }
  std::this_thread::sleep_for(120ms);
  service->setStalled(false);
  ASSERT_TRUE(service->waitFor("three|-"));
  std::lock_guard lock(service->mutex);
  EXPECT_EQ(service->attempts, 1);
  EXPECT_EQ(service->connects, 1);
}

// A late connect that fails leaves nothing behind: the next text starts a
// new one, however long the first was stuck.
TEST(BrailleWorker, ALateConnectThatFailsIsFollowedByANewOne) {
  auto service = std::make_shared<Service>();
  service->absent = true;
  service->setStalled(true);
  BrailleWorker display(connectTo(service), kShort);
  display.setFocused(true);
  display.show(L"one");
  std::this_thread::sleep_for(120ms);  // beyond the connect limit
  service->setStalled(false);
  ASSERT_TRUE(service->waitFor("connect"));
  {
    std::lock_guard lock(service->mutex);
    service->absent = false;
  }
  display.show(L"two");
  ASSERT_TRUE(service->waitFor("two|-"));
  std::lock_guard lock(service->mutex);
  EXPECT_EQ(service->attempts, 2);
}

}  // namespace
}  // namespace pelliwick::braille
