#include "scheduler/shared/win32/object_owner.h"

#include <aclapi.h>
#include <sddl.h>

#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"

namespace shared {

std::optional<std::u16string> ObjectOwnerSid(HANDLE object) {
  // `owner` points into the descriptor.
  PSID owner = nullptr;
  win32::ScopedLocalMemory descriptor;
  if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  LPWSTR text = nullptr;
  if (owner == nullptr || !::ConvertSidToStringSidW(owner, &text)) return std::nullopt;
  win32::ScopedLocalMemory text_owner(text);
  return win32::FromWide(text);
}

bool SetAdministratorsAsOwner(PSECURITY_DESCRIPTOR descriptor, PSID administrators) {
  return administrators != nullptr && ::SetSecurityDescriptorOwner(descriptor, administrators, FALSE);
}

}  // namespace shared
