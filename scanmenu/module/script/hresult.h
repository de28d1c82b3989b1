// Result codes of the registration script interpreter. They carry the same
// numbers as the platform's HRESULTs so that callers can hand them on
// unchanged; portable code uses these names instead of the platform macros.
// The HRESULT type and the error conversion are the tree's own
// (common/hresult/hresult.h).
#pragma once

#include <cstdint>

#include "common/hresult/hresult.h"

namespace scanmenu::script {

using hresult::HResult;
using hresult::HResultFromError;

inline constexpr HResult kHrOk = 0;
inline constexpr HResult kHrFail = static_cast<HResult>(0x80004005);
inline constexpr HResult kHrPointer = static_cast<HResult>(0x80004003);
// A failed allocation, handled one way throughout the server: memory taken
// directly (new (std::nothrow), the selection's heap functions) is tested for
// null; the std::bad_alloc of a standard container or string is caught where
// the operation that grew it ends. Either becomes this result, or the
// operation's own documented failure where it reports no HRESULT.
inline constexpr HResult kHrOutOfMemory = static_cast<HResult>(0x8007000E);
inline constexpr HResult kHrDispException = static_cast<HResult>(0x80020009);
inline constexpr HResult kHrDispTypeMismatch = static_cast<HResult>(0x80020005);
inline constexpr HResult kHrDispOverflow = static_cast<HResult>(0x8002000A);

inline constexpr bool Failed(HResult hr) { return hr < 0; }
inline constexpr bool Succeeded(HResult hr) { return hr >= 0; }

}  // namespace scanmenu::script
