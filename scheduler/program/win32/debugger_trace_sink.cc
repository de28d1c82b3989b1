// Linked only into a build made with QC_TRACE (and into the traced test
// build): sends every trace line to the debugger output from the start of
// the process. The shipped program has no sink and writes nothing.
#include <windows.h>

#include <string>
#include <string_view>

#include "common/trace/trace.h"

namespace {

void ToDebugger(std::string_view line) {
  const std::string text(line);
  OutputDebugStringA(text.c_str());
}

[[maybe_unused]] const bool kSinkInstalled = [] {
  trace::SetSink(&ToDebugger);
  return true;
}();

}  // namespace
