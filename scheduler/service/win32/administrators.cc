#include "scheduler/service/win32/administrators.h"

#include <windows.h>

#include "common/win32/scoped_handle.h"

namespace service {

bool IsAdministratorsMember() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID raw_sid = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, &raw_sid)) {
    return false;
  }
  win32::ScopedSid administrators(raw_sid);
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators.Get(), &member)) return false;
  return member == TRUE;
}

}  // namespace service
