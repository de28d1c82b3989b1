// Which owners of a named kernel object the scheduler trusts. Any local user
// can create an object under one of the scheduler's names before the
// scheduler does, with a DACL of their own; such an object is recognised by
// its owner and not used.
#pragma once

#include <string_view>

namespace service {

// Well-known SIDs in their text form.
inline constexpr std::u16string_view kLocalSystemSid = u"S-1-5-18";
inline constexpr std::u16string_view kAdministratorsSid = u"S-1-5-32-544";

// True when `owner` (a SID as text) is LocalSystem, the Administrators group
// (the default owner of what an elevated administrator creates) or
// `account`: the caller's own account for the update event, the session's
// user for an agent's session mutex. An empty `account` adds nobody.
bool IsTrustedOwner(std::u16string_view owner, std::u16string_view account);

}  // namespace service
