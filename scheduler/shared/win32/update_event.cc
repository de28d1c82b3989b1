#include "scheduler/shared/win32/update_event.h"

#include <aclapi.h>

#include <optional>
#include <string>

#include "common/application/contract.h"
#include "common/trace/trace.h"
#include "common/win32/registry_key.h"
#include "common/win32/scoped_handle.h"
#include "scheduler/events/scheduler_events.h"
#include "scheduler/shared/object_owner.h"
#include "scheduler/shared/win32/administrators.h"
#include "scheduler/shared/win32/object_owner.h"

namespace shared {
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

win32::ScopedHandle CreateUpdateEvent() {
  SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
  win32::ScopedSid everyone;
  if (!AllocateAndInitializeSid(&world_authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.put())) {
    return {};
  }
  const win32::ScopedSid administrators = AdministratorsSid();
  if (!administrators) return {};

  // Everyone may wait; only administrators may set or reset.
  EXPLICIT_ACCESS_W entries[2] = {};
  FillSidEntry(entries[0], everyone.get(), TRUSTEE_IS_WELL_KNOWN_GROUP, SYNCHRONIZE);
  FillSidEntry(entries[1], administrators.get(), TRUSTEE_IS_GROUP, EVENT_ALL_ACCESS);
  PACL raw_acl = nullptr;
  if (SetEntriesInAclW(2, entries, nullptr, &raw_acl) != ERROR_SUCCESS) return {};
  ScopedAcl acl(raw_acl);  // a PACL, which put() cannot hand out as an HLOCAL

  win32::ScopedLocalMemory descriptor(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
  if (!descriptor) return {};
  if (!InitializeSecurityDescriptor(descriptor.get(), SECURITY_DESCRIPTOR_REVISION)) return {};
  if (!SetSecurityDescriptorDacl(descriptor.get(), TRUE, static_cast<PACL>(acl.get()), FALSE)) return {};
  // The owner is named, so that a process opening the event later can tell
  // that an administrator or the service made it.
  if (!SetAdministratorsAsOwner(descriptor.get(), administrators.get())) return {};

  SECURITY_ATTRIBUTES attributes = {};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor.get();
  attributes.bInheritHandle = FALSE;
  const std::u16string name(application::kUpdateEventName);
  win32::ScopedHandle event(CreateEventW(&attributes, TRUE, FALSE, win32::Wide(name)));
  if (!event || GetLastError() != ERROR_ALREADY_EXISTS) return event;

  // The name was taken before us, and the descriptor above was not applied.
  // Whoever set that event could stop the service and every agent, so only
  // an event that the service or an agent made is waited on.
  const std::optional<std::u16string> owner = ObjectOwnerSid(event.get());
  if (!owner || !IsTrustedOwner(*owner)) {
    trace::Trace("Update event owned by %ws refused\r\n", owner ? owner->c_str() : u"?");
    events::UpdateEventRefused(owner ? *owner : u"?");
    SetLastError(ERROR_ACCESS_DENIED);
    return {};
  }
  SetLastError(ERROR_ALREADY_EXISTS);
  return event;
}

}  // namespace shared
