#pragma once

#include <string>

namespace pelliwick {

// The player's braille display, as the game sees it: it shows what the game
// says. Both calls only hand the text over and return at once. They never
// fail: a display that is absent or lost only means no braille.
class BrailleDisplay {
 public:
  virtual ~BrailleDisplay() = default;

  // A spoken text, shown from its start; the display's panning keys move
  // through a text longer than the display.
  virtual void show(const std::wstring& text) = 0;

  // The line being typed: the prompt followed by the answer, the cursor
  // after the answer's last character, shown from the part that holds the
  // cursor.
  virtual void showEntry(const std::wstring& prompt,
                         const std::wstring& answer) = 0;
};

// For a program, or a test, that has no braille.
class NoBrailleDisplay : public BrailleDisplay {
 public:
  void show(const std::wstring&) override {}
  void showEntry(const std::wstring&, const std::wstring&) override {}
};

inline BrailleDisplay& noBrailleDisplay() {
  static NoBrailleDisplay none;
  return none;
}

}  // namespace pelliwick
