#pragma once

#include <string>

namespace pelliwick {

// The value of the number a typed answer starts with, read the way classic
// BASIC reads text as a number:
// - blanks, tabs and line feeds are ignored wherever they stand;
// - a sign, digits, one decimal point and an exponent written with e or d
//   in either case ("1e2" and "1D2" give 100); the reading stops at the
//   first character that cannot continue the number;
// - "&h" starts a hexadecimal and "&o" an octal number, taken as a 16-bit
//   signed value when it fits in 16 bits and as a 32-bit one otherwise
//   ("&hffff" gives -1);
// - a text with no leading number gives 0.
// Throws Failure when the number is beyond the range of a double.
double readNumber(const std::wstring& text);

}  // namespace pelliwick
