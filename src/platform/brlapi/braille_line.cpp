// Implements what one line of a braille display shows: the text cut into
// parts as wide as the display, the cursor, and panning. Ignored: several
// lines, contracted braille (brltty turns each character into its cell).
#include "platform/brlapi/braille_line.h"

#include <algorithm>

namespace pelliwick::braille {

namespace {

bool isBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

std::wstring tidy(const std::wstring& text) {
  std::wstring out;
  bool blank = false;
  for (wchar_t c : text) {
    if (isBlank(c)) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += L' ';
    blank = false;
    out += c;
  }
  return out;
}

}  // namespace

void BrailleLine::setText(const std::wstring& text) {
  text_ = tidy(text);
  cursor_.reset();
  part_.reset();
}

void BrailleLine::setEntry(const std::wstring& prompt,
                           const std::wstring& answer) {
  text_ = tidy(prompt);
  if (!text_.empty()) text_ += L' ';
  text_ += answer;
  cursor_ = text_.size();
  part_.reset();
}

std::size_t BrailleLine::parts(std::size_t columns) const {
  // A cursor after the last character needs a cell of its own.
  const std::size_t cells = cursor_ ? text_.size() + 1 : text_.size();
  return std::max<std::size_t>(1, (cells + columns - 1) / columns);
}

std::size_t BrailleLine::shownPart(std::size_t columns) const {
  if (part_) return std::min(*part_, parts(columns) - 1);
  return cursor_ ? *cursor_ / columns : 0;
}

void BrailleLine::pan(Pan where, std::size_t columns) {
  if (columns == 0) return;
  const std::size_t now = shownPart(columns);
  const std::size_t last = parts(columns) - 1;
  switch (where) {
    case Pan::Back:
      part_ = now == 0 ? 0 : now - 1;
      break;
    case Pan::Forward:
      part_ = std::min(now + 1, last);
      break;
    case Pan::Start:
      part_ = 0;
      break;
    case Pan::End:
      part_ = last;
      break;
  }
}

Window BrailleLine::window(std::size_t columns) const {
  if (columns == 0) return {};
  const std::size_t start = shownPart(columns) * columns;
  Window shown;
  if (start < text_.size()) shown.text = text_.substr(start, columns);
  if (cursor_ && *cursor_ >= start && *cursor_ < start + columns) {
    shown.cursor = *cursor_ - start;
  }
  return shown;
}

}  // namespace pelliwick::braille
