#include "installer/actions/agent_shutdown.h"

#include "common/text/decimal.h"

namespace installer {

AgentShutdownOutcome EndAgents(AgentShutdownPlatform& platform, std::chrono::milliseconds limit) {
  AgentShutdownOutcome outcome;
  const std::size_t processes = platform.OpenSchedulerProcesses();
  if (processes == 0) {
    // Nothing to end: the event is left alone, so that no waiter sees it
    // set and reset at once.
    platform.Log(u"EndAgents: no agent runs");
    return outcome;
  }
  std::uint32_t error = 0;
  std::unique_ptr<UpdateEvent> event = platform.OpenUpdateEvent(error);
  if (!event) {
    // No trusted event: the processes cannot be asked to end. The
    // installer's own service stop and files-in-use handling remain.
    platform.Log(u"EndAgents: no update event to set (error " + text::Decimal(error) + u")");
  } else {
    outcome.event_set = event->Set();
    if (!outcome.event_set) platform.Log(u"EndAgents: the update event could not be set");
  }
  outcome.processes_left = outcome.event_set ? platform.WaitForSchedulerProcesses(limit) : processes;
  // Reset before letting go: whoever still holds the event (a process that
  // outlived the wait) must not make the new service stop at its start.
  if (outcome.event_set && !event->Reset()) platform.Log(u"EndAgents: the update event could not be reset");
  event.reset();

  if (outcome.processes_left == 0) {
    platform.Log(u"EndAgents: " + text::Decimal(processes) + u" scheduler processes ended");
  } else {
    platform.Log(u"EndAgents: " + text::Decimal(outcome.processes_left) +
                 u" scheduler processes still run; their files are replaced at the next restart");
  }
  return outcome;
}

}  // namespace installer
