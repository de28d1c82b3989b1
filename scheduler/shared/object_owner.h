// Which owners of a named kernel object the scheduler trusts. Any local user
// can create an object under one of the scheduler's names before the
// scheduler does, with a DACL of their own; such an object is recognised by
// its owner and not used.
#pragma once

#include <string_view>

namespace shared {

// Well-known SIDs in their text form.
inline constexpr std::u16string_view kLocalSystemSid = u"S-1-5-18";
inline constexpr std::u16string_view kAdministratorsSid = u"S-1-5-32-544";

// True when `owner` (a SID as text) is LocalSystem or the Administrators
// group. The service and its agents name Administrators as the owner of
// what they create; a token may name that group only where the group is
// enabled for it as an owner, that is an elevated administrator or
// LocalSystem. Any token may name its own user, so a user's account proves
// nothing: a program the user runs unelevated could have made the object.
bool IsTrustedOwner(std::u16string_view owner);

}  // namespace shared
