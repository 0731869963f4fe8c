// Prints how fast the espeak-ng engine starts, synthesises, purges and
// stops, with a stream that plays nothing back. Not a test: run by hand.
#include <chrono>
#include <cstdio>
#include <thread>

#include "espeak/espeak_engine.h"
#include "fake_speech_stream.h"

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

}  // namespace

int main() {
  FakeSpeechStream stream(FakeSpeechStream::Playback::Instant);
  auto engine = std::make_unique<EspeakEngine>(
      [&]() -> pelliwick::SpeechStream& { return stream; });

  auto start = Clock::now();
  auto voice = std::dynamic_pointer_cast<EspeakVoice>(engine->createVoice());
  std::printf("start-up (createVoice): %.1f ms, %zu voices\n", msSince(start),
              voice->voices().size());

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
}
