#include "scheduler/shared/win32/administrators.h"

#include <windows.h>

namespace shared {

win32::ScopedSid AdministratorsSid() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  win32::ScopedSid sid;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                0, sid.put())) {
    return win32::ScopedSid();
  }
  return sid;
}

bool IsAdministratorsMember() {
  const win32::ScopedSid administrators = AdministratorsSid();
  if (!administrators) return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators.get(), &member)) return false;
  return member == TRUE;
}

}  // namespace shared
