// The mutex that a session's agent holds for its lifetime, by which the
// service knows that the session is served.
#pragma once

#include <windows.h>

#include "common/win32/scoped_handle.h"

namespace shared {

// Creates (not owned) or opens the session's agent mutex, owned by the
// Administrators group, with the token's default DACL. The agent holds it
// for its lifetime. Empty on failure, and so for a caller whose token cannot
// name Administrators as owner.
win32::ScopedHandle CreateAgentSessionMutex(DWORD session);

// True when the session's agent mutex exists, could be opened, and belongs
// to LocalSystem or the Administrators group.
bool IsAgentInSession(DWORD session);

}  // namespace shared
