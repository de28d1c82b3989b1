#include "scanmenu/module/script/number_text.h"

#include <string>

namespace scanmenu::script {
namespace {

constexpr std::uint64_t kMaxUInt32 = 0xFFFFFFFFu;
// Exponents are saturated here; anything beyond decides the result alone.
constexpr std::int64_t kExponentLimit = 100000;

bool IsBlank(char16_t c) {
  switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int DigitValue(char16_t c, int base) {
  int v = -1;
  if (c >= u'0' && c <= u'9')
    v = c - u'0';
  else if (c >= u'a' && c <= u'f')
    v = c - u'a' + 10;
  else if (c >= u'A' && c <= u'F')
    v = c - u'A' + 10;
  return v < base ? v : -1;
}

struct Signs {
  bool plus = false;
  bool minus = false;
  bool open_paren = false;
  bool close_paren = false;
  bool currency = false;
};

// Leading blanks, signs, parenthesis and currency sign.
void ReadLeading(const char16_t*& p, Signs& signs) {
  for (;; ++p) {
    if (IsBlank(*p)) continue;
    if (*p == u'+' && !signs.plus) {
      signs.plus = true;
      continue;
    }
    if (*p == u'-' && !signs.minus) {
      signs.minus = true;
      continue;
    }
    if (*p == u'(' && !signs.open_paren) {
      signs.open_paren = true;
      continue;
    }
    if (*p == u'$' && !signs.currency) {
      signs.currency = true;
      continue;
    }
    return;
  }
}

// Trailing blanks, sign, parenthesis and currency sign; true when the text
// ends after them.
bool ReadTrailing(const char16_t* p, Signs& signs, bool currency_allowed) {
  for (;; ++p) {
    if (IsBlank(*p)) continue;
    if (*p == u'+' && !signs.plus) {
      signs.plus = true;
      continue;
    }
    if (*p == u'-' && !signs.minus) {
      signs.minus = true;
      continue;
    }
    if (*p == u')' && signs.open_paren && !signs.close_paren) {
      signs.close_paren = true;
      continue;
    }
    if (*p == u'$' && currency_allowed && !signs.currency) {
      signs.currency = true;
      continue;
    }
    break;
  }
  return *p == 0 && signs.open_paren == signs.close_paren;
}

HResult ReadRadix(const char16_t* p, Signs& signs, std::uint32_t* value) {
  const int base = (*p == u'H' || *p == u'h') ? 16 : (*p == u'O' || *p == u'o') ? 8 : 0;
  if (base == 0) return kHrDispTypeMismatch;
  ++p;
  std::uint64_t v = 0;
  bool overflow = false;
  const char16_t* digits = p;
  for (int d; (d = DigitValue(*p, base)) >= 0; ++p) {
    v = v * base + d;
    if (v > kMaxUInt32) {
      overflow = true;
      v = kMaxUInt32;
    }
  }
  if (p == digits || !ReadTrailing(p, signs, false)) return kHrDispTypeMismatch;
  if (overflow) return kHrDispOverflow;
  *value = static_cast<std::uint32_t>(v);
  return kHrOk;
}

HResult ReadDecimal(const char16_t* p, Signs& signs, std::uint32_t* value) {
  std::u16string digits;   // significant digits, leading zeros dropped
  std::int64_t scale = 0;  // value = digits * 10^scale
  bool any_digit = false;
  bool point = false;
  for (;; ++p) {
    if (IsDigit(*p)) {
      any_digit = true;
      if (!digits.empty() || *p != u'0') digits.push_back(*p);
      if (point) --scale;
    } else if (*p == u',' && any_digit) {
    } else if (*p == u'.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return kHrDispTypeMismatch;
  if (*p == u'e' || *p == u'E') {
    ++p;
    bool negative_exponent = false;
    if (*p == u'+' || *p == u'-') negative_exponent = *p++ == u'-';
    if (!IsDigit(*p)) return kHrDispTypeMismatch;
    std::int64_t exponent = 0;
    for (; IsDigit(*p); ++p) {
      if (exponent < kExponentLimit) exponent = exponent * 10 + (*p - u'0');
    }
    while (*p == u',') ++p;
    scale += negative_exponent ? -exponent : exponent;
  }
  if (!ReadTrailing(p, signs, true)) return kHrDispTypeMismatch;

  // Whole part and rounding, half to even.
  std::uint64_t whole = 0;
  const std::int64_t whole_length = static_cast<std::int64_t>(digits.size()) + scale;
  if (digits.empty()) return (*value = 0, kHrOk);
  if (whole_length > 10) return kHrDispOverflow;
  for (std::int64_t i = 0; i < whole_length; ++i) {
    whole = whole * 10 + (i < static_cast<std::int64_t>(digits.size()) ? digits[i] - u'0' : 0);
  }
  if (whole_length >= 0 && whole_length < static_cast<std::int64_t>(digits.size())) {
    const char16_t first = digits[whole_length];
    bool above_half = first > u'5';
    if (first == u'5') {
      above_half = digits.find_first_not_of(u'0', whole_length + 1) != std::u16string::npos;
      if (!above_half && whole % 2 == 1) above_half = true;
    }
    if (above_half) ++whole;
  }
  if (whole > kMaxUInt32) return kHrDispOverflow;
  if ((signs.minus || signs.open_paren) && whole != 0) return kHrDispOverflow;
  *value = static_cast<std::uint32_t>(whole);
  return kHrOk;
}

}  // namespace

HResult UInt32FromNumberText(const char16_t* text, std::uint32_t* value) {
  if (text == nullptr || value == nullptr) return kHrPointer;
  Signs signs;
  const char16_t* p = text;
  ReadLeading(p, signs);
  if (*p == u'&') {
    if (signs.currency) return kHrDispTypeMismatch;
    return ReadRadix(p + 1, signs, value);
  }
  return ReadDecimal(p, signs, value);
}

}  // namespace scanmenu::script
