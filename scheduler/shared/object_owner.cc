#include "scheduler/shared/object_owner.h"

#include "common/text/ascii_case.h"

namespace shared {
namespace {

// SID texts are compared without regard to the case of their letters.
bool SameSid(std::u16string_view a, std::u16string_view b) { return text::EqualsIgnoringAsciiCase(a, b); }

}  // namespace

bool IsTrustedOwner(std::u16string_view owner) {
  return SameSid(owner, kLocalSystemSid) || SameSid(owner, kAdministratorsSid);
}

}  // namespace shared
