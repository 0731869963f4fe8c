// How the game's texts are handed to a SAPI 5 voice: plain text, or one
// character spelt through SAPI's XML. Nothing else of SAPI's XML is used.
#include "platform/win32/sapi_text.h"

#include <windows.h>
// (sapi.h needs windows.h first.)
#include <sapi.h>

#include <algorithm>

namespace pelliwick::win32 {

namespace {

std::wstring escapedForXml(wchar_t c) {
  switch (c) {
    case L'<':
      return L"&lt;";
    case L'>':
      return L"&gt;";
    case L'&':
      return L"&amp;";
    case L'"':
      return L"&quot;";
    case L'\'':
      return L"&apos;";
    default:
      return std::wstring(1, c);
  }
}

}  // namespace

SapiText sapiText(const std::wstring& text, bool namesCharacter) {
  // A NUL is a blank, as it is for the other voices (and Speak would end
  // the text there).
  std::wstring spoken = text;
  std::replace(spoken.begin(), spoken.end(), L'\0', L' ');
  if (!namesCharacter) return {spoken, SPF_IS_NOT_XML};
  if (spoken == L" ") {
    return {L"space", SPF_IS_NOT_XML};
  }
  return {L"<spell>" + escapedForXml(text.front()) + L"</spell>", SPF_IS_XML};
}

}  // namespace pelliwick::win32
