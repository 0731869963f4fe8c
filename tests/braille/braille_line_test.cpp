#include "platform/brlapi/braille_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace pelliwick::braille {
namespace {

const std::wstring kPrompt = L" Enter your guess, a number between 0 and 100 ";

TEST(BrailleLine, ShowsTheTidiedTextOrTheAnswerWithItsCursor) {
  struct Case {
    const char* what;
    std::wstring prompt;
    std::optional<std::wstring> answer;  // an entry when set
    std::size_t columns;
    std::wstring shown;
    std::optional<std::size_t> cursor;
  };
  const std::vector<Case> cases = {
      {"blanks tidied", L"  the number was  42 ", std::nullopt, 40,
       L"the number was 42", std::nullopt},
      {"a long text from its start", kPrompt, std::nullopt, 40,
       L"Enter your guess, a number between 0 and", std::nullopt},
      {"the part that holds the cursor", kPrompt, L"5", 40, L" 100 5", 6},
      {"an empty answer", kPrompt, L"", 40, L" 100 ", 5},
      {"typed blanks kept", L"guess", L"1  2", 40, L"guess 1  2", 10},
      {"a cursor past a full part", L"abc", L"d", 5, L"", 0},
      {"no prompt", L"", L"12", 40, L"12", 2},
      {"no cells", kPrompt, L"5", 0, L"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BrailleLine line;
    if (c.answer) {
      line.setEntry(c.prompt, *c.answer);
    } else {
      line.setText(c.prompt);
    }
    const Window window = line.window(c.columns);
    EXPECT_EQ(window.text, c.shown);
    EXPECT_EQ(window.cursor, c.cursor);
  }
}

TEST(BrailleLine, PanningMovesPartByPartAndStopsAtTheEnds) {
  BrailleLine line;
  line.setText(L"aaaa bbbb cccc dd");  // four parts of 5
  const std::vector<std::pair<Pan, std::wstring>> steps = {
      {Pan::Back, L"aaaa "}, {Pan::Forward, L"bbbb "}, {Pan::Forward, L"cccc "},
      {Pan::Forward, L"dd"}, {Pan::Forward, L"dd"},    {Pan::Start, L"aaaa "},
      {Pan::End, L"dd"},     {Pan::Back, L"cccc "},
  };
  for (const auto& [pan, shown] : steps) {
    line.pan(pan, 5);
    EXPECT_EQ(line.window(5).text, shown);
  }

  // From the cursor's part, back to the prompt; a new answer goes back to
  // the cursor.
  line.setEntry(kPrompt, L"42");
  line.pan(Pan::Back, 40);
  EXPECT_EQ(line.window(40).text, L"Enter your guess, a number between 0 and");
  EXPECT_EQ(line.window(40).cursor, std::nullopt);
  line.setEntry(kPrompt, L"4");
  EXPECT_EQ(line.window(40).text, L" 100 4");
}

}  // namespace
}  // namespace pelliwick::braille
