// The trace sink: one function taking a narrow printf-style format and its
// arguments. Wide texts are passed as `const char16_t*` for "%ws". Lines end
// in "\r\n". Nothing is written unless a sink is installed; the shipped build
// installs none.
#pragma once

#include <string_view>

namespace trace {

using Sink = void (*)(std::string_view line);

// Installs the function that receives each formatted line (null: none).
void SetSink(Sink sink);

// Formats and hands the line to the sink. Supported conversions: %s (narrow
// text), %ws and %ls (UTF-16 text, as UTF-8), %d %i %u %x %X with optional
// l/ll/z length, %p, %c and %%.
void Trace(const char* format, ...);

}  // namespace trace
