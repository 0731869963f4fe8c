// Fake voices that log what they are asked to say, and the clock helpers
// of the speech-dispatcher tests.
#pragma once

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/failure.h"
#include "platform/speech.h"
#include "platform/speechd/link_state.h"
#include "platform/utf8.h"

namespace pelliwick::speechd::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Guards every fake's log: the link's thread speaks too.
inline std::mutex& logMutex() {
  static std::mutex mutex;
  return mutex;
}

inline std::string lastSaid(const std::vector<std::string>& log) {
  std::lock_guard lock(logMutex());
  return log.empty() ? std::string() : log.back();
}

// Waits until `line` is in the log, for at most `timeout`; returns the ms
// since `start`, or -1.
inline long msUntilSaid(const std::vector<std::string>& log,
                        const std::string& line, Clock::time_point start,
                        milliseconds timeout = milliseconds(5000)) {
  for (;;) {
    {
      std::lock_guard lock(logMutex());
      if (std::find(log.begin(), log.end(), line) != log.end()) {
        return msSince(start);
      }
    }
    if (Clock::now() - start > timeout) return -1;
    std::this_thread::sleep_for(milliseconds(5));
  }
}

// Writes "<name><index> <text>/<flags>" for each text, into a shared log.
class FakeVoice : public SpeechVoice {
 public:
  FakeVoice(std::string name, int count, std::vector<std::string>& log)
      : name_(std::move(name)), count_(count), log_(log) {}
  void selectVoice(int index) override {
    if (index >= count_) throw Failure("past the end");
    selected_ = index;
  }
  int rate() override { return rate_; }
  void setRate(int rate) override { rate_ = rate; }
  void setVolume(int) override {}
  void speak(const std::wstring& text, unsigned flags) override {
    std::lock_guard lock(logMutex());
    log_.push_back(name_ + std::to_string(selected_) + " " + toUtf8(text) +
                   "/" + std::to_string(flags));
    if (failing) {
      failed = true;
      throw Failure("gone");
    }
  }
  bool failing = false;
  bool failed = false;

 private:
  std::string name_;
  int count_;
  std::vector<std::string>& log_;
  int selected_ = 0;
  int rate_ = 0;
};

class FakeEngine : public SpeechEngine {
 public:
  explicit FakeEngine(std::vector<std::string>& log)
      : voice(std::make_shared<FakeVoice>("e", 2, log)) {}
  std::shared_ptr<SpeechVoice> createVoice() override { return voice; }
  std::shared_ptr<FakeVoice> voice;
};

}  // namespace pelliwick::speechd::test

namespace pelliwick::speechd {

// What the link keeps that only the tests read.
struct LinkInspector {
  // How many of this program's messages were cancelled so far.
  static std::size_t cancelled(const SpeechdLink& link) {
    const auto state = link.current();
    std::lock_guard lock(state->mutex_);
    return state->cancelled_;
  }
};

}  // namespace pelliwick::speechd
