#include "scheduler/shared/object_owner.h"

#include <algorithm>

namespace shared {
namespace {

// SID texts are compared without regard to the case of their letters.
bool SameSid(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

}  // namespace

bool IsTrustedOwner(std::u16string_view owner) {
  return SameSid(owner, kLocalSystemSid) || SameSid(owner, kAdministratorsSid);
}

}  // namespace shared
