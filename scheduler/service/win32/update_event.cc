#include "scheduler/service/win32/update_event.h"

#include <aclapi.h>

#include <string>

#include "common/application/contract.h"
#include "common/win32/scoped_handle.h"

namespace service {
namespace {

// SetEntriesInAclW hands back an ACL that LocalFree releases.
using ScopedAcl = win32::ScopedLocalMemory;

void FillSidEntry(EXPLICIT_ACCESS_W& entry, PSID sid, TRUSTEE_TYPE type, DWORD rights) {
  entry.grfAccessPermissions = rights;
  entry.grfAccessMode = SET_ACCESS;
  entry.grfInheritance = NO_INHERITANCE;
  entry.Trustee.pMultipleTrustee = nullptr;
  entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = type;
  entry.Trustee.ptstrName = static_cast<LPWSTR>(sid);
}

}  // namespace

HANDLE CreateUpdateEvent() {
  SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID raw_sid = nullptr;
  if (!AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &raw_sid)) {
    return nullptr;
  }
  win32::ScopedSid everyone(raw_sid);
  raw_sid = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, &raw_sid)) {
    return nullptr;
  }
  win32::ScopedSid administrators(raw_sid);

  // Everyone may wait; only administrators may set or reset.
  EXPLICIT_ACCESS_W entries[2] = {};
  FillSidEntry(entries[0], everyone.Get(), TRUSTEE_IS_WELL_KNOWN_GROUP, SYNCHRONIZE);
  FillSidEntry(entries[1], administrators.Get(), TRUSTEE_IS_GROUP, EVENT_ALL_ACCESS);
  PACL raw_acl = nullptr;
  if (SetEntriesInAclW(2, entries, nullptr, &raw_acl) != ERROR_SUCCESS) return nullptr;
  ScopedAcl acl(raw_acl);

  win32::ScopedLocalMemory descriptor(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
  if (!descriptor) return nullptr;
  if (!InitializeSecurityDescriptor(descriptor.Get(), SECURITY_DESCRIPTOR_REVISION)) return nullptr;
  if (!SetSecurityDescriptorDacl(descriptor.Get(), TRUE, static_cast<PACL>(acl.Get()), FALSE)) return nullptr;

  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor.Get();
  attributes.bInheritHandle = FALSE;
  const std::u16string name(application::kUpdateEventName);
  return CreateEventW(&attributes, TRUE, FALSE, reinterpret_cast<const wchar_t*>(name.c_str()));
}

}  // namespace service
