#pragma once

#include <string>

#include "platform/failure.h"

namespace pelliwick::win32 {

// The system's own words for an HRESULT or a Win32 error code, with the
// code in hex: "The parameter is incorrect. (0x80070057)".
std::string describeHresult(long hresult);
std::string describeLastError(unsigned long error);

// Throws Failure("<what>: <description>") when `hresult` is a failure.
void check(long hresult, const std::string& what);

// Throws Failure for GetLastError() after a call that failed.
[[noreturn]] void failWithLastError(const std::string& what);

}  // namespace pelliwick::win32
