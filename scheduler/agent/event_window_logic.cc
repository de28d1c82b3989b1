#include "scheduler/agent/event_window_logic.h"

namespace agent {

std::optional<std::intptr_t> HandleEventWindowMessage(WindowMessage message, std::uint64_t wparam, std::uint64_t lparam,
                                                      EventWindowHost& host) {
  switch (message) {
    case WindowMessage::kCreate:
      // The agent serves the session now; the service waits for its turn.
      host.StopService();
      return 0;
    case WindowMessage::kDestroy:
      host.PostQuit();
      return 0;
    case WindowMessage::kQueryEndSession:
      return 1;  // never object to the session's end
    case WindowMessage::kEndSession:
      if (wparam != 0 && (lparam & kEndSessionCloseApp) != 0 && (lparam & kEndSessionLogoff) == 0) {
        // Only this program is asked to close, the session goes on: the loop
        // ends as at any other close and the service is started without
        // "endsession", so that it serves the session again.
        host.StopTick();
        host.PostQuit();
        return 0;
      }
      // Whatever ends the session (log-off, restart, or a shutdown that
      // hibernates session 0 with the service in it), the service must be
      // running afterwards to serve the next logon. A start refused because
      // the system is going down is harmless: the next boot starts it.
      if (wparam != 0) {
        host.StopTick();
        host.StartService(true);
      }
      return 0;
    case WindowMessage::kTimer:
      host.CheckBusy();
      return std::nullopt;
    case WindowMessage::kOther:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace agent
