// Prints how fast the espeak-ng engine starts, synthesises, purges and
// stops, how soon a key's echo becomes audible, and how much memory a long
// speech queue takes. Not a test: run by hand.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "fake_speech_stream.h"
#include "platform/espeak/espeak_engine.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using pelliwick::SVSFDefault;
using pelliwick::SVSFlagsAsync;
using pelliwick::SVSFPurgeBeforeSpeak;
using pelliwick::espeak::EspeakEngine;
using pelliwick::espeak::EspeakVoice;
using pelliwick::espeak::test::FakeSpeechStream;

namespace {

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

const std::wstring kPrompt =
    L"guess a number between 1 and 100, then press enter";
const std::wstring kInstructions =
    L"to adjust the speech rate, use the arrow keys and then press enter";

// Resident size of this process in kB.
long residentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// Holds what has not been played yet, as a mixer does, and plays it in real
// time; keeps no record of what it played.
class PlayingStream : public pelliwick::SpeechStream {
 public:
  std::uint64_t append(const std::int16_t* samples,
                       std::size_t count) override {
    std::lock_guard lock(mutex_);
    advance();
    queue_.insert(queue_.end(), samples, samples + count);
    appended_ += count;
    maxHeld_ = std::max(maxHeld_, queue_.size());
    return appended_;
  }
  void clear() override {
    std::lock_guard lock(mutex_);
    played_ += queue_.size();
    queue_.clear();
    queue_.shrink_to_fit();
  }
  std::uint64_t playedPosition() const override {
    std::lock_guard lock(mutex_);
    advance();
    return played_;
  }
  void waitPlayed(std::uint64_t position) override {
    while (!waitPlayedFor(position, 1h)) {
    }
  }
  bool waitPlayedFor(std::uint64_t position,
                     std::chrono::milliseconds atMost) override {
    const auto deadline = Clock::now() + atMost;
    while (playedPosition() < position) {
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }
  std::size_t maxHeld() const {
    std::lock_guard lock(mutex_);
    return maxHeld_;
  }

 private:
  void advance() const {
    const auto now = Clock::now();
    const auto due = static_cast<std::size_t>(
        std::chrono::duration<double>(now - last_).count() * 22050);
    const std::size_t n = std::min(due, queue_.size());
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
    played_ += n;
    if (n > 0 || queue_.empty()) last_ = now;
  }
  mutable std::mutex mutex_;
  mutable std::deque<std::int16_t> queue_;
  mutable std::uint64_t played_ = 0;
  mutable Clock::time_point last_ = Clock::now();
  std::uint64_t appended_ = 0;
  std::size_t maxHeld_ = 0;
};

// Where the first sample louder than about -50 dBFS lies, in ms.
double firstAudibleMs(const std::vector<std::int16_t>& samples,
                      std::size_t from) {
  for (std::size_t i = from; i < samples.size(); ++i) {
    if (std::abs(samples[i]) >= 100) return (i - from) / 22.05;
  }
  return -1;
}

void printEchoFigures(EspeakVoice& voice, FakeSpeechStream& stream) {
  // The key echo: rate + 5, purging first, not waited for.
  voice.setRate(5);
  std::printf("echo, first audible sample (ms):");
  for (const wchar_t* key : {L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8",
                             L"9", L"-", L".", L"(", L"\u00bf", L" "}) {
    const auto before = stream.appended();
    voice.speak(key, SVSFlagsAsync | SVSFPurgeBeforeSpeak);
    voice.speak(L"", SVSFDefault);
    std::printf(" %ls:%.1f", key, firstAudibleMs(stream.samples(), before));
  }
  std::printf("\n");
  voice.setRate(0);
}

void printQueueFigures(EspeakVoice& voice, PlayingStream& stream) {
  const long before = residentKb();
  const auto start = Clock::now();
  for (int i = 0; i < 300; ++i) {
    voice.speak(kInstructions, SVSFlagsAsync);
  }
  const double queueMs = msSince(start);
  std::this_thread::sleep_for(2s);
  std::printf(
      "300 queued instructions: queued in %.1f ms, resident %ld kB before, "
      "%ld kB 2 s later, at most %.2f s of samples held\n",
      queueMs, before, residentKb(), stream.maxHeld() / 22050.0);
  voice.speak(L"", SVSFPurgeBeforeSpeak);
}

}  // namespace

int main() {
  FakeSpeechStream stream(FakeSpeechStream::Playback::Instant);
  auto engine = std::make_unique<EspeakEngine>(
      [&]() -> pelliwick::SpeechStream& { return stream; });

  auto start = Clock::now();
  auto voice = std::dynamic_pointer_cast<EspeakVoice>(engine->createVoice());
  std::printf("start-up (createVoice): %.1f ms, %zu voices\n", msSince(start),
              voice->voices().size());

  printEchoFigures(*voice, stream);

  start = Clock::now();
  for (int i = 0; i < 131; ++i) {
    voice->selectVoice(i % static_cast<int>(voice->voices().size()));
  }
  std::printf("131 selections: %.3f ms\n", msSince(start));

  constexpr int kRounds = 20;
  const auto before = stream.appended();
  start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    voice->speak(kPrompt, SVSFDefault);
  }
  const double synthMs = msSince(start) / kRounds;
  const double audioMs = (stream.appended() - before) / 22.05 / kRounds;
  std::printf("prompt: %.1f ms of audio synthesised in %.2f ms (%.0fx)\n",
              audioMs, synthMs, audioMs / synthMs);

  start = Clock::now();
  voice->speak(L"5", SVSFDefault);
  std::printf("one key echo, queued to last sample: %.2f ms\n", msSince(start));

  // Purge in the middle of a synthesis slowed down by the stream.
  stream.appendDelay = 5ms;
  voice->speak(kPrompt, SVSFlagsAsync);
  while (stream.appendedSinceClear() == 0) {
    std::this_thread::sleep_for(100us);
  }
  start = Clock::now();
  voice->speak(L"", SVSFPurgeBeforeSpeak);
  std::printf("purge call: %.2f ms\n", msSince(start));
  const auto atPurge = stream.appended();
  std::this_thread::sleep_for(100ms);
  std::printf("samples appended after the purge: %llu\n",
              static_cast<unsigned long long>(stream.appended() - atPurge));

  for (int i = 0; i < 10; ++i) {
    voice->speak(kPrompt, SVSFlagsAsync);
  }
  start = Clock::now();
  voice.reset();
  engine.reset();
  std::printf("shutdown with 10 texts queued: %.1f ms\n", msSince(start));

  // A stream that keeps only what is still to be played, as the mixer does.
  PlayingStream playing;
  engine = std::make_unique<EspeakEngine>(
      [&]() -> pelliwick::SpeechStream& { return playing; });
  voice = std::dynamic_pointer_cast<EspeakVoice>(engine->createVoice());
  printQueueFigures(*voice, playing);
}
