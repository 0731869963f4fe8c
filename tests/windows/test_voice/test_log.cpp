#include "test_log.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <mutex>

#include "speech_log_line.h"

namespace pelliwick::test_voice {

namespace {

std::wstring environment(const wchar_t* name) {
  wchar_t buffer[2048];
  const DWORD length = GetEnvironmentVariableW(name, buffer, 2048);
  if (length == 0 || length >= 2048) return L"";
  return std::wstring(buffer, length);
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return "";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                       static_cast<int>(text.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                      out.data(), size, nullptr, nullptr);
  return out;
}

// Unix time, as a Linux driver reads CLOCK_REALTIME.
std::string stamp() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
      now.dwLowDateTime;
  // 100 ns ticks from 1601 to 1970.
  const unsigned long long unix = ticks - 116444736000000000ULL;
  char text[40];
  std::snprintf(text, sizeof text, "%llu.%07llu", unix / 10000000ULL,
                unix % 10000000ULL);
  return text;
}

}  // namespace

void logLine(const char* kind, const std::string& value) {
  static std::mutex mutex;
  std::wstring path = environment(L"PELLIWICK_TEST_VOICE_LOG");
  if (path.empty()) return;
  // A Linux path is taken too: Wine's Z: is the Linux root.
  if (path.front() == L'/') path = L"Z:" + path;
  const std::string line = pelliwick::e2e::speechLogLine(stamp(), kind, value);
  std::lock_guard lock(mutex);
  // One write per line on a file opened for appending: the game's and the
  // speaking thread's lines never interleave.
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
  CloseHandle(file);
}

void logLine(const char* kind, const std::wstring& value) {
  logLine(kind, utf8(value));
}

bool failing(const char* method) {
  const std::string names =
      "," + utf8(environment(L"PELLIWICK_TEST_VOICE_FAIL")) + ",";
  if (names.find("," + std::string(method) + ",") == std::string::npos) {
    return false;
  }
  logLine("failed", std::string(method));
  return true;
}

double numberFromEnvironment(const wchar_t* name, double fallback) {
  const std::wstring text = environment(name);
  if (text.empty()) return fallback;
  wchar_t* end = nullptr;
  const double value = std::wcstod(text.c_str(), &end);
  return end != nullptr && *end == L'\0' && value >= 0 ? value : fallback;
}

}  // namespace pelliwick::test_voice
