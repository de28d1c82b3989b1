// What the agent's hidden window does with the messages it is sent.
#pragma once

#include <cstdint>
#include <optional>

namespace agent {

enum class WindowMessage { kCreate, kDestroy, kQueryEndSession, kEndSession, kTimer, kOther };

// ENDSESSION_LOGOFF and ENDSESSION_CLOSEAPP in the lParam of
// WM_QUERYENDSESSION and WM_ENDSESSION. CLOSEAPP alone is no end of the
// session: Restart Manager (an installer replacing a file in use) asks this
// one program to close.
inline constexpr std::uint64_t kEndSessionLogoff = 0x80000000u;
inline constexpr std::uint64_t kEndSessionCloseApp = 0x1u;

class EventWindowHost {
 public:
  virtual ~EventWindowHost() = default;
  virtual void StopService() = 0;
  // Starts the service; with `end_session` its one argument is "endsession".
  virtual void StartService(bool end_session) = 0;
  virtual void StopTick() = 0;
  virtual void PostQuit() = 0;
  virtual void CheckBusy() = 0;
};

// Acts on one message. Returns the window procedure's result, or nothing when
// the message goes on to the default window procedure.
std::optional<std::intptr_t> HandleEventWindowMessage(WindowMessage message, std::uint64_t wparam, std::uint64_t lparam,
                                                      EventWindowHost& host);

}  // namespace agent
