#include "game/number_reading.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/failure.h"

namespace pelliwick {
namespace {

struct Reading {
  const wchar_t* text;
  double value;
};

TEST(NumberReading, ReadsTheLeadingNumberTheClassicWay) {
  const Reading readings[] = {
      {L"", 0},        {L"42", 42},    {L"007", 7},        {L"12ab", 12},
      {L"1 5", 15},    {L"abc", 0},    {L" \t\n4\n2", 42}, {L"-5", -5},
      {L"+5", 5},      {L"- 5", -5},   {L"--5", 0},        {L".", 0},
      {L"4.5", 4.5},   {L".5", 0.5},   {L"5.", 5},         {L"1.2.3", 1.2},
      {L"1e2", 100},   {L"1E2", 100},  {L"1d2", 100},      {L"1D-2", 0.01},
      {L"2e+1", 20},   {L"1e", 1},     {L"1e+", 1},        {L"1ex", 1},
      {L"1 e 2", 100}, {L"e2", 0},     {L"-", 0},          {L"\r5", 0},
      {L"5\r6", 5},    {L"1e-400", 0}, {L"&", 0},          {L"&5", 0},
  };
  for (const Reading& reading : readings) {
    EXPECT_DOUBLE_EQ(readNumber(reading.text), reading.value)
        << "reading \"" << std::wstring(reading.text).size() << "\" chars";
  }
}

TEST(NumberReading, ReadsHexadecimalAndOctalIntoSixteenOrThirtyTwoBits) {
  EXPECT_EQ(readNumber(L"&h1F"), 31);
  EXPECT_EQ(readNumber(L"&HfG"), 15);
  EXPECT_EQ(readNumber(L"&o17"), 15);
  EXPECT_EQ(readNumber(L"&O78"), 7);
  EXPECT_EQ(readNumber(L"&h"), 0);
  EXPECT_EQ(readNumber(L"&hffff"), -1);
  EXPECT_EQ(readNumber(L"&h8000"), -32768);
  EXPECT_EQ(readNumber(L"&h10000"), 65536);
  EXPECT_EQ(readNumber(L"&hffffffff"), -1);
  EXPECT_EQ(readNumber(L"&o177777"), -1);
  EXPECT_THROW(readNumber(L"&h100000000"), Failure);
  EXPECT_THROW(readNumber(L"&o40000000000"), Failure);
}

TEST(NumberReading, ANumberBeyondADoubleFails) {
  EXPECT_THROW(readNumber(L"1e309"), Failure);
  EXPECT_THROW(readNumber(L"-1e400"), Failure);
  EXPECT_THROW(readNumber(L"0.5e310"), Failure);
  EXPECT_THROW(readNumber(L"1e99999999999999999999"), Failure);
  EXPECT_DOUBLE_EQ(readNumber(L"1e308"), 1e308);
  EXPECT_DOUBLE_EQ(readNumber(L"0.001e310"), 1e307);
  EXPECT_EQ(readNumber(L"1e-99999999999999999999"), 0);
  // Found by fuzzing: far too small despite a large exponent, so zero.
  EXPECT_EQ(readNumber(L"0." + std::wstring(420, L'0') + L"1e90"), 0);
  EXPECT_THROW(readNumber(L"0." + std::wstring(20, L'0') + L"1e330"), Failure);
}

}  // namespace
}  // namespace pelliwick
