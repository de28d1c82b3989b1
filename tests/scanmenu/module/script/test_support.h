// Small helpers shared by the interpreter's tests.
#pragma once

#include <cstdio>
#include <string>

#include "scanmenu/module/script/hresult.h"

namespace test_support {

// HRESULTs compare better as hex text in failure messages.
inline std::string HrText(scanmenu::script::HResult hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(hr));
  return text;
}

}  // namespace test_support
