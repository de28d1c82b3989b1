// Opening the application's presence event on Windows.
#pragma once

#include <string_view>

#include "common/application/presence.h"

namespace application {

// Opens the named event `name` for EVENT_MODIFY_STATE, not inheritable, in
// the caller's session namespace, closes it again and tells how the open
// ended.
PresenceOpen OpenPresenceEvent(std::u16string_view name);

}  // namespace application
