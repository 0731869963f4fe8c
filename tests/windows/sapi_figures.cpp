// Figures of SapiEngine under Wine with the test voice; run by hand:
//   tests/windows/wine-run.sh build-windows/wine-voice
//     build-windows/bin/sapi_figures.exe   (one line)
// (after `ctest --preset windows -R wine_test_voice_start` registered it).
// Prints how long making the voice and counting its voices take, as the
// game does at start, and one key echo: rate + 5, purge and queue the
// character, rate back. In the plain root (build-windows/wine), Wine's own
// SAPI: the time to find no voice.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "platform/failure.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/sapi_engine.h"
#include "test_voice_log.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

void echoes(pelliwick::SpeechVoice& voice, const char* how) {
  using namespace pelliwick;
  constexpr int kEchoes = 200;
  const int rate = voice.rate();
  double worst = 0;
  const auto all = Clock::now();
  for (int i = 0; i < kEchoes; ++i) {
    const auto start = Clock::now();
    voice.setRate(rate + 5);
    voice.speak(i % 2 == 0 ? L"5" : L"-", SVSFlagsAsync | SVSFPurgeBeforeSpeak);
    voice.setRate(rate);
    const double took = msSince(start);
    if (took > worst) worst = took;
  }
  std::printf(
      "key echo (rate+5, purge and queue, rate back) %s: mean %.3f ms, "
      "worst %.3f ms over %d\n",
      how, msSince(all) / kEchoes, worst, kEchoes);
}

}  // namespace

int main() {
  using namespace pelliwick;
  win32::ComApartment com;
  win32::test::TestVoiceLog log;
  constexpr int kRounds = 5;
  double create = 0;
  double count = 0;
  int voices = 0;
  std::shared_ptr<SpeechVoice> voice;
  for (int round = 0; round < kRounds; ++round) {
    SapiEngine engine({});
    auto start = Clock::now();
    voice = engine.createVoice();
    create += msSince(start);
    start = Clock::now();
    voices = 0;
    try {
      for (;;) {
        voice->selectVoice(voices);
        ++voices;
      }
    } catch (const Failure&) {
    }
    count += msSince(start);
  }
  std::printf("createVoice %.2f ms, counting %d voices %.2f ms (mean of %d)\n",
              create / kRounds, voices, count / kRounds, kRounds);

  if (voices == 0) return 0;
  // With and without the test voice's log, which opens and appends to its
  // file for every call.
  echoes(*voice, "with the test voice's log");
  SetEnvironmentVariableW(L"PELLIWICK_TEST_VOICE_LOG", nullptr);
  echoes(*voice, "without its log");
  voice->speak(L"", SVSFPurgeBeforeSpeak);
  return 0;
}
