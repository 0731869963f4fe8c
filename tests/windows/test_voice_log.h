#pragma once

#include <string>
#include <vector>

namespace pelliwick::win32::test {

// The test voice's log (tests/windows/test_voice): a fresh file, named to
// the voice through PELLIWICK_TEST_VOICE_LOG for as long as this lives.
class TestVoiceLog {
 public:
  struct Line {
    std::string kind;
    std::string value;
  };

  TestVoiceLog();
  ~TestVoiceLog();
  TestVoiceLog(const TestVoiceLog&) = delete;
  TestVoiceLog& operator=(const TestVoiceLog&) = delete;

  std::vector<Line> lines() const;
  // The values of the lines of one kind, in order.
  std::vector<std::string> values(const std::string& kind) const;

 private:
  std::wstring path_;
};

}  // namespace pelliwick::win32::test
