// The owners of kernel objects, as SID texts for the decisions of
// object_owner.h.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace shared {

// The owner of the kernel object behind `object`, which needs READ_CONTROL;
// nullopt when it cannot be read.
std::optional<std::u16string> ObjectOwnerSid(HANDLE object);

// Names BUILTIN\Administrators as the owner in `descriptor` (absolute,
// initialised). `administrators` is referenced, not copied, and must outlive
// the descriptor's use. Creating an object with this owner succeeds only
// for a token in which the group may own objects (an elevated administrator
// or LocalSystem); any other gets ERROR_INVALID_OWNER.
bool SetAdministratorsAsOwner(PSECURITY_DESCRIPTOR descriptor, PSID administrators);

}  // namespace shared
