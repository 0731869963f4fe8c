#include "test_voice_log.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace pelliwick::win32::test {

namespace {

std::string unescaped(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

TestVoiceLog::TestVoiceLog() {
  wchar_t folder[MAX_PATH];
  wchar_t file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"tvl", 0, file);
  path_ = file;
  SetEnvironmentVariableW(L"PELLIWICK_TEST_VOICE_LOG", path_.c_str());
}

TestVoiceLog::~TestVoiceLog() {
  SetEnvironmentVariableW(L"PELLIWICK_TEST_VOICE_LOG", nullptr);
  DeleteFileW(path_.c_str());
}

std::vector<TestVoiceLog::Line> TestVoiceLog::lines() const {
  std::vector<Line> lines;
  std::ifstream in{std::filesystem::path(path_)};
  std::string line;
  while (std::getline(in, line)) {
    const auto kindAt = line.find(' ');
    const auto valueAt = line.find(' ', kindAt + 1);
    if (kindAt == std::string::npos || valueAt == std::string::npos) continue;
    lines.push_back({line.substr(kindAt + 1, valueAt - kindAt - 1),
                     unescaped(line.substr(valueAt + 1))});
  }
  return lines;
}

std::vector<std::string> TestVoiceLog::values(const std::string& kind) const {
  std::vector<std::string> values;
  for (const auto& line : lines()) {
    if (line.kind == kind) values.push_back(line.value);
  }
  return values;
}

}  // namespace pelliwick::win32::test
