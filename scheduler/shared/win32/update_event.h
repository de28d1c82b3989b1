// The global update event that the service and every agent wait on.
#pragma once

#include <windows.h>

#include "common/win32/scoped_handle.h"

namespace shared {

// Creates "Global\Veltrane Scheduler Update" (manual reset, not signalled),
// owned by the Administrators group, letting Everyone only wait on it and
// Administrators do anything, or opens it when it exists already (its
// descriptor is then left as it is). The service and the agent both create
// it so, whichever comes first. An existing event is taken only when its
// owner is LocalSystem or the Administrators group; otherwise the result is
// null with ERROR_ACCESS_DENIED, as for an event that cannot be opened. A
// caller whose token cannot name Administrators as owner (no elevated
// administrator) gets null with ERROR_INVALID_OWNER when it would create the
// event. Returns the handle, or an empty owner.
win32::ScopedHandle CreateUpdateEvent();

}  // namespace shared
