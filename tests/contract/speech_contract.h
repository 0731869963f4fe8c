#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/speech.h"

namespace pelliwick::contract {

// What the speech contract needs of a backend under test.
class SpeechDriver {
 public:
  virtual ~SpeechDriver() = default;
  // A voice of a fresh engine; `closing` as the engine's GiveUp.
  virtual std::shared_ptr<SpeechVoice> createVoice(GiveUp closing) = 0;
  // How many voices the engine should count.
  virtual int installedVoices() = 0;
  // The texts the engine began to speak since the driver was made, in
  // order, as UTF-8.
  virtual std::vector<std::string> spoken() = 0;
};

struct SpeechBackend {
  std::string name;
  std::function<std::unique_ptr<SpeechDriver>()> make;
};

// Named in test listings by its name alone.
inline void PrintTo(const SpeechBackend& backend, std::ostream* out) {
  *out << backend.name;
}

class SpeechContract : public testing::TestWithParam<SpeechBackend> {
 protected:
  void SetUp() override { driver_ = GetParam().make(); }
  SpeechDriver& driver() { return *driver_; }

 private:
  std::unique_ptr<SpeechDriver> driver_;
};

// For INSTANTIATE_TEST_SUITE_P's name generator.
inline std::string backendName(
    const testing::TestParamInfo<SpeechBackend>& info) {
  return info.param.name;
}

}  // namespace pelliwick::contract
