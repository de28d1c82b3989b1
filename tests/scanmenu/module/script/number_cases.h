// Texts of "D" values and how the platform's conversion (locale 0, US
// English) reads them. The native tests hold the portable reading to this
// table; the Windows tests hold the platform's conversion to it as well.
#pragma once

#include <cstdint>
#include <string_view>

#include "scanmenu/module/script/hresult.h"

namespace test_support {

using scanmenu::script::HResult;
using scanmenu::script::kHrDispOverflow;
using scanmenu::script::kHrDispTypeMismatch;
using scanmenu::script::kHrOk;

struct NumberCase {
  std::u16string_view text;
  HResult result;
  std::uint32_t value;  // when the result is success
};

inline constexpr HResult kMismatch = kHrDispTypeMismatch;
inline constexpr HResult kOverflow = kHrDispOverflow;

inline constexpr NumberCase kNumberCases[] = {
    // Decimal.
    {u"0", kHrOk, 0},
    {u"12", kHrOk, 12},
    {u"00012", kHrOk, 12},
    {u"4294967295", kHrOk, 4294967295u},
    {u"1,000", kHrOk, 1000},
    {u",1", kMismatch, 0},
    // Empty and blanks.
    {u"", kMismatch, 0},
    {u" ", kMismatch, 0},
    {u" 12", kHrOk, 12},
    {u"12 ", kHrOk, 12},
    {u"\t12\r\n", kHrOk, 12},
    {u"1 2", kMismatch, 0},
    // Signs.
    {u"+12", kHrOk, 12},
    {u"+ 12", kHrOk, 12},
    {u"12+", kHrOk, 12},
    {u"-0", kHrOk, 0},
    {u"-1", kOverflow, 0},
    {u"12-", kOverflow, 0},
    {u"(0)", kHrOk, 0},
    {u"(12)", kOverflow, 0},
    {u"++1", kMismatch, 0},
    {u"--1", kMismatch, 0},
    {u"+", kMismatch, 0},
    {u"-", kMismatch, 0},
    // Overflow.
    {u"4294967296", kOverflow, 0},
    {u"99999999999999999999", kOverflow, 0},
    // Fractions round half to even; exponents.
    {u"1.5", kHrOk, 2},
    {u"2.5", kHrOk, 2},
    {u"3.5", kHrOk, 4},
    {u"1.49", kHrOk, 1},
    {u"0.5", kHrOk, 0},
    {u"-0.4", kHrOk, 0},
    {u"1.", kHrOk, 1},
    {u".5", kHrOk, 0},
    {u".", kMismatch, 0},
    {u"1.2.3", kMismatch, 0},
    {u"4294967295.4", kHrOk, 4294967295u},
    {u"4294967295.5", kOverflow, 0},
    {u"1e3", kHrOk, 1000},
    {u"1E+2", kHrOk, 100},
    {u"25e-1", kHrOk, 2},
    {u"1e10", kOverflow, 0},
    {u"1e", kMismatch, 0},
    // Currency.
    {u"$12", kHrOk, 12},
    {u"12$", kHrOk, 12},
    {u"$$1", kMismatch, 0},
    // Hexadecimal and octal, and texts that only look so.
    {u"&H10", kHrOk, 16},
    {u"&hff", kHrOk, 255},
    {u"&H1E1", kHrOk, 481},
    {u"&HFFFFFFFF", kHrOk, 4294967295u},
    {u"&H100000000", kOverflow, 0},
    {u"&O17", kHrOk, 15},
    {u"&H", kMismatch, 0},
    {u"&HG", kMismatch, 0},
    {u"&O8", kMismatch, 0},
    {u"0x10", kMismatch, 0},
    {u"10h", kMismatch, 0},
    {u"abc", kMismatch, 0},
    {u"12abc", kMismatch, 0},
    {u"\u0661\u0662", kMismatch, 0},  // Arabic-Indic digits
};

}  // namespace test_support
