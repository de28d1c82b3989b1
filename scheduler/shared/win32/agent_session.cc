#include "scheduler/shared/win32/agent_session.h"

#include <optional>
#include <string>

#include "common/trace/trace.h"
#include "common/win32/scoped_handle.h"
#include "common/win32/wide.h"
#include "scheduler/shared/agent_session.h"
#include "scheduler/shared/object_owner.h"
#include "scheduler/shared/win32/administrators.h"
#include "scheduler/shared/win32/object_owner.h"

namespace shared {

win32::ScopedHandle CreateAgentSessionMutex(DWORD session) {
  const std::u16string name = AgentSessionMutexName(session);
  // Owned by Administrators, which only an elevated token may name: the
  // service then knows the mutex for an agent's. The DACL is the token's
  // default one.
  const win32::ScopedSid administrators = AdministratorsSid();
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetAdministratorsAsOwner(&descriptor, administrators.get())) {
    return {};
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  return win32::ScopedHandle(CreateMutexW(&attributes, FALSE, win32::Wide(name)));
}

bool IsAgentInSession(DWORD session) {
  const std::u16string name = AgentSessionMutexName(session);
  win32::ScopedHandle mutex(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, win32::Wide(name)));
  if (!mutex) return false;

  // An agent passed the administrator test before it made its mutex and
  // named Administrators as its owner. One made by anybody else (a program
  // of any user, elevated or not, keeping the session from its agent) is not
  // an agent's.
  const std::optional<std::u16string> owner = ObjectOwnerSid(mutex.get());
  if (owner && IsTrustedOwner(*owner)) return true;
  trace::Trace("Session %u mutex owned by %ws is no agent's\r\n", static_cast<unsigned>(session),
               owner ? owner->c_str() : u"?");
  return false;
}

}  // namespace shared
