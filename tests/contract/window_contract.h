#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/window.h"

namespace pelliwick::contract {

// Drives one window backend as the player and the other threads of the
// game would. Every key code is a Windows virtual-key code; a backend needs
// to type only 13, 16, 49, 50, 53, 65, 78, 89, 115 and 123.
class WindowDriver {
 public:
  virtual ~WindowDriver() = default;
  // Shown with the caption "Form1".
  virtual WindowSystem& window() = 0;
  // A key-down as typed into the window; from any thread.
  virtual void typeKey(int code) = 0;
  // What the audio thread does when a cue ends; from any thread.
  virtual void wake() = 0;
  // The player closes the window.
  virtual void closeByPlayer() = 0;
  // The backend's own closeRequested() and requestStop().
  virtual bool closeRequested() = 0;
  virtual void requestStop() = 0;
};

struct WindowBackend {
  std::string name;
  std::function<std::unique_ptr<WindowDriver>()> make;
};

inline std::string PrintToString(const WindowBackend& backend) {
  return backend.name;
}

// The tests every window backend passes: instantiate with
//   INSTANTIATE_TEST_SUITE_P(Name, WindowContract, ::testing::Values(
//       WindowBackend{"Name", [] { return ...; }}), backendName);
class WindowContract : public ::testing::TestWithParam<WindowBackend> {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::unique_ptr<WindowDriver> driver;
  std::vector<int> keys;
};

inline std::string backendName(
    const ::testing::TestParamInfo<WindowBackend>& info) {
  return info.param.name;
}

}  // namespace pelliwick::contract
