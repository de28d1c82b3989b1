// BUILTIN\Administrators: its SID, and whether this process's token counts
// as a member.
#pragma once

#include "common/win32/scoped_handle.h"

namespace shared {

// The SID of BUILTIN\Administrators (S-1-5-32-544); empty when it cannot be
// made.
win32::ScopedSid AdministratorsSid();

// True when the calling process's token has BUILTIN\Administrators enabled;
// a filtered administrator token does not count.
bool IsAdministratorsMember();

}  // namespace shared
