// Starting the agent ("<own path>" /user) in a user session.
#pragma once

#include <windows.h>

#include "common/win32/scoped_handle.h"
#include "scheduler/events/scheduler_events.h"

namespace service {

// Creates "<own path>" /user in the session on "winsta0\Default" under the
// token GetSessionUserToken gives, whether or not an agent serves the
// session. The new process, or an empty handle on failure; `outcome` says
// which, for the event log.
win32::ScopedHandle StartUserModeInSession(DWORD session, events::AgentStart& outcome);

// The token of the user logged on in the session: the linked (full) token
// where the user has one, else the session token itself. Null when there is
// no user or the token cannot be had.
win32::ScopedHandle GetSessionUserToken(DWORD session);

// Starts the agent in the session on "winsta0\Default" under the session
// user's token, unless an agent serves that session already. Calls for the
// same moment from the service's two threads are taken one after the other,
// and a call returns once its agent holds the session mutex (or has ended),
// so that no two agents start in one session. True when a new agent process
// was created.
bool LaunchAgentInSession(DWORD session);

}  // namespace service
