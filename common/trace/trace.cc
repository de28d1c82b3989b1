#include "common/trace/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trace {
namespace {

std::atomic<Sink> g_sink{nullptr};

void AppendUtf8(std::string& out, const char16_t* text) {
  if (text == nullptr) {
    out += "(null)";
    return;
  }
  for (const char16_t* p = text; *p != 0; ++p) {
    std::uint32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

// A number the way printf writes it with flags and a field width ("%4d",
// "%-3u", "%08x"): `digits_base` is 10, 16 or -16 (upper-case hexadecimal);
// the flags '+' and ' ' apply to signed conversions only.
// Done here rather than by the C library's printf, whose full engine (floating
// point included) would be the largest piece of a program that only traces.
void AppendNumber(std::string& out, std::string_view flags_and_width, bool is_signed, bool negative,
                  unsigned long long magnitude, int digits_base) {
  bool left = false, zero = false, plus = false, space = false;
  std::size_t width = 0;
  for (const char c : flags_and_width) {
    if (c == '-')
      left = true;
    else if (c == '0' && width == 0)
      zero = true;
    else if (c == '+')
      plus = true;
    else if (c == ' ')
      space = true;
    else
      width = width * 10 + static_cast<std::size_t>(c - '0');
  }
  const char* const letters = digits_base < 0 ? "0123456789ABCDEF" : "0123456789abcdef";
  const unsigned base = static_cast<unsigned>(digits_base < 0 ? -digits_base : digits_base);
  char digits[24];
  std::size_t count = 0;
  do {
    digits[count++] = letters[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  const char sign = negative ? '-' : !is_signed ? 0 : plus ? '+' : space ? ' ' : 0;
  const std::size_t length = count + (sign != 0 ? 1 : 0);
  const std::size_t pad = width > length ? width - length : 0;
  if (!left && !zero) out.append(pad, ' ');
  if (sign != 0) out += sign;
  if (!left && zero) out.append(pad, '0');
  while (count > 0) out += digits[--count];
  if (left) out.append(pad, ' ');
}

void AppendSigned(std::string& out, std::string_view flags_and_width, long long value) {
  const unsigned long long magnitude =
      value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  AppendNumber(out, flags_and_width, true, value < 0, magnitude, 10);
}

std::string Format(const char* format, va_list args) {
  std::string out;
  for (const char* p = format; *p != 0; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    ++p;
    if (*p == '%') {
      out += '%';
      continue;
    }
    if ((*p == 'w' || *p == 'l') && p[1] == 's') {
      AppendUtf8(out, va_arg(args, const char16_t*));
      ++p;
      continue;
    }
    // Flags and field width, kept for the numeric conversions.
    std::string width;
    while (*p == '-' || *p == '0' || *p == '+' || *p == ' ') width += *p++;
    for (int digits = 0; *p >= '0' && *p <= '9' && digits < 3; ++digits) width += *p++;
    int longs = 0;
    bool size = false;
    while (*p == 'l') {
      ++longs;
      ++p;
    }
    if (*p == 'z') {
      size = true;
      ++p;
    }
    switch (*p) {
      case 's': {
        const char* text = va_arg(args, const char*);
        out += text ? text : "(null)";
        break;
      }
      case 'c':
        out += static_cast<char>(va_arg(args, int));
        break;
      case 'p':  // as the C library writes it here: every hexadecimal digit
        AppendNumber(out, "016", false, false, reinterpret_cast<std::uintptr_t>(va_arg(args, void*)), 16);
        break;
      case 'd':
      case 'i':
        if (size || longs >= 2)
          AppendSigned(out, width, va_arg(args, long long));
        else if (longs == 1)
          AppendSigned(out, width, va_arg(args, long));
        else
          AppendSigned(out, width, va_arg(args, int));
        break;
      case 'u':
      case 'x':
      case 'X': {
        const int base = *p == 'u' ? 10 : (*p == 'x' ? 16 : -16);
        unsigned long long value;
        if (size)
          value = va_arg(args, std::size_t);
        else if (longs >= 2)
          value = va_arg(args, unsigned long long);
        else if (longs == 1)
          value = va_arg(args, unsigned long);
        else
          value = va_arg(args, unsigned int);
        AppendNumber(out, width, false, false, value, base);
        break;
      }
      case 0:
        return out;
      default:
        out += '%';
        out += *p;
        break;
    }
  }
  return out;
}

}  // namespace

void SetSink(Sink sink) { g_sink.store(sink); }

void Trace(const char* format, ...) {
  const Sink sink = g_sink.load();
  if (sink == nullptr || format == nullptr) return;
  va_list args;
  va_start(args, format);
  const std::string line = Format(format, args);
  va_end(args);
  sink(line);
}

}  // namespace trace
