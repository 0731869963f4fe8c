// What the figures share: statistics, CPU clocks, the printed table, and a
// mixer driven the way the audio device drives it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/mixer/mixer.h"

namespace pelliwick::bench {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

double secondsBetween(Steady::time_point from, Steady::time_point to);
// Polls `done` every millisecond; false when `atMost` ran out first.
bool waitUntil(const std::function<bool()>& done, Steady::duration atMost);
double threadCpuSeconds();
double processCpuSeconds();
// Resident size now and at its peak, in megabytes.
double residentMegabytes();
double peakResidentMegabytes();
// The folder of this executable, where the game and its cues also are.
std::filesystem::path programFolder();

// One line of the table: median and worst of the trials (worst is the
// highest), with the target beside them.
void printFigure(const std::string& name, const std::vector<double>& values,
                 const std::string& unit, const std::string& target);
// A figure that is one measurement, not a series of trials.
void printValue(const std::string& name, double value, const std::string& unit,
                const std::string& target);
void printHeading(const std::string& text);

// Renders `mixer` one period at a time from a thread of its own, at the pace
// of a device or as fast as it can, and notes when sound leaves it. A
// sample's time is the end of the render call that made it plus its place
// in the period: when it would play were the period played at once.
class MixerDriver {
 public:
  static constexpr std::size_t kPeriodFrames = 512;
  MixerDriver(Mixer& mixer, bool realTime);
  ~MixerDriver();
  MixerDriver(const MixerDriver&) = delete;
  MixerDriver& operator=(const MixerDriver&) = delete;

  double periodSeconds() const;
  // Looks for the first sound in periods rendered from `since` on.
  void watchFrom(Steady::time_point since);
  // The first sound found since watchFrom, waiting at most `atMost`.
  std::optional<Steady::time_point> firstSound(Steady::duration atMost);
  // The last sound that has left the mixer so far.
  Steady::time_point lastSound();
  // Whether no sound has left the mixer for `quiet`.
  bool silentFor(Steady::duration quiet);

 private:
  void run();

  Mixer& mixer_;
  const bool realTime_;
  std::mutex mutex_;
  std::condition_variable found_;
  bool stopping_ = false;
  std::optional<Steady::time_point> watchingFrom_;
  std::optional<Steady::time_point> firstSound_;
  Steady::time_point lastSound_{};
  std::thread thread_;
};

}  // namespace pelliwick::bench
