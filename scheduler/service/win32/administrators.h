#pragma once

namespace service {

// True when the calling process's token has BUILTIN\Administrators enabled;
// a filtered administrator token does not count.
bool IsAdministratorsMember();

}  // namespace service
