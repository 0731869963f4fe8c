#include "bench_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

namespace pelliwick::bench {
namespace {

// Quieter than this (about -60 dB) counts as silence.
constexpr float kSilence = 0.001f;

double cpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) +
         static_cast<double>(now.tv_nsec) / 1e9;
}

double statusMegabytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      std::istringstream value(line.substr(field.size() + 1));
      double kilobytes = 0;
      value >> kilobytes;
      return kilobytes / 1024.0;
    }
  }
  return 0;
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, Steady::duration atMost) {
  const auto deadline = Steady::now() + atMost;
  while (!done()) {
    if (Steady::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

double secondsBetween(Steady::time_point from, Steady::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

double threadCpuSeconds() { return cpuSeconds(CLOCK_THREAD_CPUTIME_ID); }
double processCpuSeconds() { return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }
double residentMegabytes() { return statusMegabytes("VmRSS"); }
double peakResidentMegabytes() { return statusMegabytes("VmHWM"); }

std::filesystem::path programFolder() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

void printHeading(const std::string& text) {
  std::printf("\n%s\n", text.c_str());
}

void printFigure(const std::string& name, const std::vector<double>& values,
                 const std::string& unit, const std::string& target) {
  if (values.empty()) {
    std::printf("  %-46s %12s %12s %-9s %s\n", name.c_str(), "-", "-",
                unit.c_str(), target.c_str());
    return;
  }
  std::vector<double> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  std::printf("  %-46s %12.4g %12.4g %-9s %s  (%zu trials)\n", name.c_str(),
              sorted[sorted.size() / 2], sorted.back(), unit.c_str(),
              target.c_str(), sorted.size());
  std::fflush(stdout);
}

void printValue(const std::string& name, double value, const std::string& unit,
                const std::string& target) {
  std::printf("  %-46s %12.4g %12s %-9s %s\n", name.c_str(), value, "",
              unit.c_str(), target.c_str());
  std::fflush(stdout);
}

MixerDriver::MixerDriver(Mixer& mixer, bool realTime)
    : mixer_(mixer), realTime_(realTime), thread_([this] { run(); }) {}

MixerDriver::~MixerDriver() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  thread_.join();
}

double MixerDriver::periodSeconds() const {
  return static_cast<double>(kPeriodFrames) / mixer_.outputRate();
}

void MixerDriver::watchFrom(Steady::time_point since) {
  std::lock_guard lock(mutex_);
  watchingFrom_ = since;
  firstSound_.reset();
}

std::optional<Steady::time_point> MixerDriver::firstSound(
    Steady::duration atMost) {
  std::unique_lock lock(mutex_);
  found_.wait_for(lock, atMost, [this] { return firstSound_.has_value(); });
  return firstSound_;
}

Steady::time_point MixerDriver::lastSound() {
  std::lock_guard lock(mutex_);
  return lastSound_;
}

bool MixerDriver::silentFor(Steady::duration quiet) {
  return Steady::now() - lastSound() >= quiet;
}

void MixerDriver::run() {
  std::vector<float> period(2 * kPeriodFrames);
  const auto length = std::chrono::duration_cast<Steady::duration>(
      std::chrono::duration<double>(periodSeconds()));
  auto next = Steady::now();
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    const auto started = Steady::now();
    mixer_.render(period.data(), kPeriodFrames);
    const auto rendered = Steady::now();
    std::optional<std::size_t> first;
    std::size_t last = 0;
    for (std::size_t i = 0; i < period.size(); ++i) {
      if (std::abs(period[i]) > kSilence) {
        if (!first) first = i;
        last = i;
      }
    }
    if (first) {
      auto at = [&](std::size_t sample) {
        return rendered +
               std::chrono::duration_cast<Steady::duration>(
                   std::chrono::duration<double>(
                       static_cast<double>(sample / 2) / mixer_.outputRate()));
      };
      std::lock_guard lock(mutex_);
      lastSound_ = at(last);
      if (watchingFrom_ && started >= *watchingFrom_ && !firstSound_) {
        firstSound_ = at(*first);
        found_.notify_all();
      }
    }
    if (realTime_) {
      next += length;
      std::this_thread::sleep_until(next);
    } else {
      std::this_thread::yield();
    }
  }
}

}  // namespace pelliwick::bench
