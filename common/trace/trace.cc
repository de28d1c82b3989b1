#include "common/trace/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

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

template <typename T>
void AppendNumber(std::string& out, const char* spec, T value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, spec, value);
  out += buffer;
}

// A number with the flags and field width of its conversion ("%4d", "%-3u",
// "%08x"); `conversion` is the plain printf conversion, such as "lld".
template <typename T>
void AppendNumber(std::string& out, const std::string& flags_and_width, const char* conversion, T value) {
  const std::string spec = "%" + flags_and_width + conversion;
  AppendNumber(out, spec.c_str(), value);
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
    while (*p == 'l') { ++longs; ++p; }
    if (*p == 'z') { size = true; ++p; }
    switch (*p) {
      case 's': {
        const char* text = va_arg(args, const char*);
        out += text ? text : "(null)";
        break;
      }
      case 'c': out += static_cast<char>(va_arg(args, int)); break;
      case 'p': AppendNumber(out, "%p", va_arg(args, void*)); break;
      case 'd': case 'i':
        if (size || longs >= 2) AppendNumber(out, width, "lld", static_cast<long long>(va_arg(args, long long)));
        else if (longs == 1) AppendNumber(out, width, "ld", va_arg(args, long));
        else AppendNumber(out, width, "d", va_arg(args, int));
        break;
      case 'u': case 'x': case 'X': {
        const char* spec = *p == 'u' ? "llu" : (*p == 'x' ? "llx" : "llX");
        unsigned long long value;
        if (size) value = va_arg(args, std::size_t);
        else if (longs >= 2) value = va_arg(args, unsigned long long);
        else if (longs == 1) value = va_arg(args, unsigned long);
        else value = va_arg(args, unsigned int);
        AppendNumber(out, width, spec, value);
        break;
      }
      case 0: return out;
      default: out += '%'; out += *p; break;
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
