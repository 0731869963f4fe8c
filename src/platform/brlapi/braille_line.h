#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace pelliwick::braille {

// The part of the line one display shows.
struct Window {
  std::wstring text;                  // at most the display's width
  std::optional<std::size_t> cursor;  // its cell, when it lies in the part
};

// The display's panning keys.
enum class Pan { Back, Forward, Start, End };

// The line on the display and which part of it is shown. The line is cut
// into parts as wide as the display; a new line starts at the part that
// holds its cursor, or at its start when it has none.
class BrailleLine {
 public:
  // Blanks are tidied: runs of them become one, and none is left at either
  // end, so that no cell is wasted.
  void setText(const std::wstring& text);
  // The prompt tidied, one blank, then the answer as typed; the cursor after
  // the answer's last character.
  void setEntry(const std::wstring& prompt, const std::wstring& answer);

  void pan(Pan where, std::size_t columns);
  Window window(std::size_t columns) const;

  const std::wstring& text() const { return text_; }

 private:
  std::size_t parts(std::size_t columns) const;
  std::size_t shownPart(std::size_t columns) const;

  std::wstring text_;
  std::optional<std::size_t> cursor_;
  std::optional<std::size_t> part_;  // none until panned
};

}  // namespace pelliwick::braille
