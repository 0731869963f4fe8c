#include "platform/espeak/speech_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace pelliwick::espeak {
namespace {

TEST(SpokenForm, EncodesEveryPlaneAndReplacesWhatCannotBeEncoded) {
  EXPECT_EQ(spokenForm(L"guess 5"), "guess 5");
  EXPECT_EQ(spokenForm(L"caf\u00e9 \u20ac \U0001F600"),
            "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
  std::wstring broken = L"a";
  broken += static_cast<wchar_t>(0xD800);
  broken += static_cast<wchar_t>(0x110000);
  broken += L'\0';
  broken += L"b";
  EXPECT_EQ(spokenForm(broken), "a\xEF\xBF\xBD\xEF\xBF\xBD b");
}

TEST(TrimLeadingSilence, KeepsTheAskedLeadInBeforeTheFirstAudibleSample) {
  using Samples = std::vector<std::int16_t>;
  struct Case {
    Samples in;
    std::size_t keep;
    Samples out;
  };
  for (const Case& c : {
           Case{{0, 5, -99, 0, 300, 7}, 1, {0, 300, 7}},
           Case{{0, 0, -100, 3}, 0, {-100, 3}},
           Case{{0, 0, 500}, 2, {0, 0, 500}},  // no more lead-in than kept
           Case{{0, 0, 500}, 5, {0, 0, 500}},
           Case{{1, 2, 3}, 0, {1, 2, 3}},  // nothing audible: left alone
           Case{{}, 2, {}},
       }) {
    Samples samples = c.in;
    trimLeadingSilence(samples, c.keep);
    EXPECT_EQ(samples, c.out) << ::testing::PrintToString(c.in);
  }
}

TEST(WordsPerMinute, TripleEveryTenStepsWithinTheClamp) {
  EXPECT_EQ(wordsPerMinute(0), 175);
  EXPECT_EQ(wordsPerMinute(5), 303);
  EXPECT_EQ(wordsPerMinute(-5), 101);
  EXPECT_EQ(wordsPerMinute(10), 525);
  EXPECT_EQ(wordsPerMinute(-10), kMinWordsPerMinute);  // 58 is too slow
  EXPECT_EQ(wordsPerMinute(14), 815);
  EXPECT_EQ(wordsPerMinute(15), kMaxWordsPerMinute);  // 909
  EXPECT_EQ(wordsPerMinute(INT_MAX), kMaxWordsPerMinute);
  EXPECT_EQ(wordsPerMinute(INT_MIN), kMinWordsPerMinute);
}

}  // namespace
}  // namespace pelliwick::espeak
