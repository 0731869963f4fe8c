#pragma once

#include <string>

namespace pelliwick::win32 {

// A text as ISpVoice::Speak takes it: the text and its SPF_IS_* flag.
struct SapiText {
  std::wstring text;
  unsigned long flags;
};

// A sentence is read as plain text (a "<" in it is no markup). A key's
// character is spelt with SAPI's <spell> markup, so that a mark such as "-"
// is named rather than passed over as punctuation; a space, which a
// <spell> leaves silent, is said as the word "space".
SapiText sapiText(const std::wstring& text, bool namesCharacter);

}  // namespace pelliwick::win32
