#pragma once

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace pelliwick::test_voice {

// Speaks queued texts one after the other on a thread of its own, taking
// a set time per character, and tells when all is done through a manual
// reset event (SAPI's SpeakCompleteEvent).
class Speaker {
 public:
  Speaker();
  ~Speaker();
  Speaker(const Speaker&) = delete;
  Speaker& operator=(const Speaker&) = delete;

  void add(std::wstring text, double msPerCharacter);
  // Cuts the text being spoken and drops the queue; returns once the
  // speaking thread has let go of the text.
  void purge();
  HANDLE doneEvent() const { return done_; }

 private:
  struct Text {
    std::wstring text;
    double msPerCharacter;
  };
  void run();
  void updateDoneLocked();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Text> queue_;
  bool speaking_ = false;
  bool stopping_ = false;
  unsigned long purges_ = 0;
  HANDLE done_;
  std::thread thread_;
};

}  // namespace pelliwick::test_voice
