// The global update event that the service and every agent wait on.
#pragma once

#include <windows.h>

namespace service {

// Creates "Global\Veltrane Scheduler Update" (manual reset, not signalled),
// letting Everyone only wait on it and Administrators do anything, or opens
// it when it exists already (its descriptor is then left as it is). An
// existing event is taken only when its owner is LocalSystem, the
// Administrators group or the caller's own account; otherwise the result is
// null with ERROR_ACCESS_DENIED, as for an event that cannot be opened.
// Returns the handle, which the caller closes, or null.
HANDLE CreateUpdateEvent();

}  // namespace service
