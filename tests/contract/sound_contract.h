#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/sound.h"

namespace pelliwick::contract {

// What the cue contract needs of one backend.
class SoundDriver {
 public:
  virtual ~SoundDriver() = default;
  virtual std::shared_ptr<SoundRoot> createRoot() = 0;
  // A window the device may be given, and the folder of the real cues.
  virtual WindowHandle window() = 0;
  virtual std::filesystem::path cueFolder() = 0;
  // Forgets earlier wakes, then waits up to `atMost` for the main thread's
  // wait to be woken by a sound; true when it was.
  virtual void forgetWakes() = 0;
  virtual bool waitForWake(std::chrono::milliseconds atMost) = 0;
};

struct SoundBackend {
  std::string name;
  std::function<std::unique_ptr<SoundDriver>()> makeDriver;
};

inline void PrintTo(const SoundBackend& backend, std::ostream* out) {
  *out << backend.name;
}

inline std::string backendName(
    const testing::TestParamInfo<SoundBackend>& info) {
  return info.param.name;
}

class SoundContract : public testing::TestWithParam<SoundBackend> {};

}  // namespace pelliwick::contract
