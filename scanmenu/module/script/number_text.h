// Reading the text of a "D" (32-bit number) value without the platform.
#pragma once

#include <cstdint>

#include "scanmenu/module/script/hresult.h"

namespace scanmenu::script {

// Converts the zero-terminated text of a number value; the Windows build
// passes the platform's own conversion (VarUI4FromStr, locale 0) instead.
using NumberConverter = HResult (*)(const char16_t* text, std::uint32_t* value);

// The same reading of a number as the platform's conversion gives for
// locale 0 with US-English conventions ("." decimal point, "," thousands
// separator, "$" currency):
//   - blanks (Unicode white space) around the number, and between a sign,
//     parenthesis or currency sign and the digits;
//   - at most one of each leading "+", "-", "(" and "$", in any order, and
//     after the number a "+", "-", ")" or (if none came first) "$";
//     "(" needs its ")"; "-" or parentheses make the number negative;
//   - decimal digits with "," anywhere after the first digit, one ".",
//     and an exponent "e" or "E" with an optional sign and at least one
//     digit; the value is rounded half to even to a whole number;
//   - or "&H" hexadecimal / "&O" octal digits (any case), whose sign is
//     ignored and which take no currency sign.
// A negative number that does not round to 0, or one above 4294967295,
// gives kHrDispOverflow; any other text, the empty one included,
// kHrDispTypeMismatch. `value` is only written on success.
HResult UInt32FromNumberText(const char16_t* text, std::uint32_t* value);

}  // namespace scanmenu::script
