#include "platform/win32/win32_failure.h"

#include <windows.h>

#include <cstdio>

namespace pelliwick::win32 {

namespace {

std::string utf8(const wchar_t* text, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr,
                        nullptr);
  }
  return out;
}

std::string systemMessage(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? utf8(buffer, static_cast<int>(length)) : "";
  LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

std::string withCode(std::string text, unsigned long code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", code);
  return text.empty() ? "error " + std::string(hex)
                      : text + " (" + std::string(hex) + ")";
}

}  // namespace

std::string describeHresult(long hresult) {
  const auto code = static_cast<unsigned long>(hresult);
  return withCode(systemMessage(code), code);
}

std::string describeLastError(unsigned long error) {
  return withCode(systemMessage(error), error);
}

void check(long hresult, const std::string& what) {
  if (FAILED(hresult)) throw Failure(what + ": " + describeHresult(hresult));
}

void failWithLastError(const std::string& what) {
  throw Failure(what + ": " + describeLastError(GetLastError()));
}

}  // namespace pelliwick::win32
