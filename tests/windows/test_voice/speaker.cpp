#include "speaker.h"

#include <chrono>

#include "test_log.h"

namespace pelliwick::test_voice {

Speaker::Speaker()
    : done_(CreateEventW(nullptr, TRUE, TRUE, nullptr)),
      thread_([this] { run(); }) {}

Speaker::~Speaker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  CloseHandle(done_);
}

void Speaker::add(std::wstring text, double msPerCharacter) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({std::move(text), msPerCharacter});
    updateDoneLocked();
  }
  changed_.notify_all();
}

void Speaker::purge() {
  std::unique_lock lock(mutex_);
  const std::size_t cut = queue_.size() + (speaking_ ? 1 : 0);
  queue_.clear();
  ++purges_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return !speaking_; });
  if (cut > 0) logLine("purged", std::to_string(cut));
  updateDoneLocked();
}

void Speaker::updateDoneLocked() {
  if (queue_.empty() && !speaking_) {
    SetEvent(done_);
  } else {
    ResetEvent(done_);
  }
}

void Speaker::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const Text text = std::move(queue_.front());
    queue_.pop_front();
    speaking_ = true;
    const unsigned long purges = purges_;
    logLine("synth", text.text);
    const auto perCharacter =
        std::chrono::duration<double, std::milli>(text.msPerCharacter);
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::nanoseconds>(
                         perCharacter * static_cast<double>(text.text.size()));
    const bool cut = changed_.wait_until(
        lock, end, [&] { return stopping_ || purges_ != purges; });
    if (!cut) logLine("done", text.text);
    speaking_ = false;
    updateDoneLocked();
    changed_.notify_all();
  }
}

}  // namespace pelliwick::test_voice
