// Ending the scheduler's agents before the package replaces or removes its
// files. An agent holds scheduler.exe open for the life of its session; the
// documented way to end every agent (and the service) at once is to set the
// global update event, which both wait on. The package opens the processes
// that run the installed scheduler.exe, sets the event, waits a bounded time
// for those processes themselves to end, then resets the event and lets go
// of it, so that the service started afterwards does not find it set. The
// event is reset only after its waiters have ended or had their time, never
// at once (a waiter could miss a set undone at once); with no process to
// end it is not set at all.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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
  // service nor any agent waits on it), cannot be opened, or is owned by
  // anyone but LocalSystem or the Administrators group; `error` receives the
  // platform's reason.
  virtual std::unique_ptr<UpdateEvent> OpenUpdateEvent(std::uint32_t& error) = 0;
  // Opens, to wait on, every process that runs the installed scheduler.exe
  // and is owned by LocalSystem or the Administrators group (the service and
  // the agents); returns how many it holds.
  virtual std::size_t OpenSchedulerProcesses() = 0;
  // Waits until every process opened has ended, at most `limit`; returns how
  // many still run.
  virtual std::size_t WaitForSchedulerProcesses(std::chrono::milliseconds limit) = 0;
  // One line for the installer's log.
  virtual void Log(const std::u16string& line) = 0;
};

struct AgentShutdownOutcome {
  bool event_set = false;
  // Processes still running when the time was up (or that could not be
  // asked to end): their scheduler.exe stays in use, and the installer's
  // files-in-use handling takes over (the replacement waits for a restart).
  std::size_t processes_left = 0;
};

// Ends the scheduler's processes as above. Nothing here fails the
// installation: what could not be done is logged and left to the
// installer's own handling of files in use.
AgentShutdownOutcome EndAgents(AgentShutdownPlatform& platform, std::chrono::milliseconds limit);

}  // namespace installer
