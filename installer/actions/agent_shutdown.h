// Ending the scheduler's agents before the package replaces or removes its
// files. An agent holds scheduler.exe open for the life of its session; the
// documented way to end every agent (and the service) at once is to set the
// global update event, which both wait on. The package sets it, waits a
// bounded time until no session holds an agent mutex any more, then resets
// the event and lets go of it, so that the service started afterwards does
// not find it set.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace installer {

// The update event, opened with the right to set and reset it. Closed when
// the owner goes.
class UpdateEvent {
 public:
  virtual ~UpdateEvent() = default;
  virtual bool Set() = 0;
  virtual bool Reset() = 0;
};

class AgentShutdownPlatform {
 public:
  virtual ~AgentShutdownPlatform() = default;
  // The update event, or null when it does not exist (then neither the
  // service nor any agent runs) or cannot be opened; `error` receives the
  // platform's reason.
  virtual std::unique_ptr<UpdateEvent> OpenUpdateEvent(std::uint32_t& error) = 0;
  // The ids of the sessions whose agent mutex exists at this moment.
  virtual std::vector<std::uint32_t> SessionsWithAgent() = 0;
  virtual std::chrono::steady_clock::time_point Now() = 0;
  virtual void Sleep(std::chrono::milliseconds pause) = 0;
  // One line for the installer's log.
  virtual void Log(const std::u16string& line) = 0;
};

struct AgentShutdownOutcome {
  bool event_set = false;
  // Sessions whose agent was still there when the time was up: their
  // scheduler.exe stays in use, and the installer's files-in-use handling
  // takes over (the replacement waits for a restart).
  std::vector<std::uint32_t> agents_left;
};

// How often the sessions are looked at while waiting.
inline constexpr std::chrono::milliseconds kAgentPollInterval{100};

// Sets the update event, waits up to `limit` until no agent is left, resets
// the event and closes it. Nothing here fails the installation: what could
// not be done is logged and left to the installer's own handling of files
// in use.
AgentShutdownOutcome EndAgents(AgentShutdownPlatform& platform, std::chrono::milliseconds limit);

}  // namespace installer
