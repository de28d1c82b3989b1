// Small helpers shared by the interpreter's tests.
#pragma once

#include <cstdio>
#include <string>

#include "scanmenu/module/script/hresult.h"

namespace scanmenu::script::test_support {

// HRESULTs compare better as hex text in failure messages.
inline std::string HrText(HResult hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(hr));
  return text;
}

}  // namespace scanmenu::script::test_support
