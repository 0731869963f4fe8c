#pragma once

#include <string>

namespace pelliwick::test_voice {

// Appends "<seconds> <kind> <value>" to the log file (see test_voice.cpp).
void logLine(const char* kind, const std::string& value);
void logLine(const char* kind, const std::wstring& value);

// Whether PELLIWICK_TEST_VOICE_FAIL names `method`; logs "failed <method>"
// when it does.
bool failing(const char* method);

// A number from the environment, or `fallback` when unset or not a number.
double numberFromEnvironment(const wchar_t* name, double fallback);

}  // namespace pelliwick::test_voice
