// What a handler operation reports to the shell. The values are the HRESULTs
// the shell receives, so the Windows layer passes them on unchanged.
#pragma once

#include <cstdint>

namespace scanmenu {

enum class Outcome : std::int32_t {
  kOk = 0,                                                    // S_OK
  kNothingStarted = 1,                                        // S_FALSE: accepted, but nothing was started
  kInvalidArgument = static_cast<std::int32_t>(0x80070057u),  // E_INVALIDARG
};

}  // namespace scanmenu
