#include "installer/actions/agent_shutdown.h"

#include "common/text/decimal.h"

namespace installer {
namespace {

std::u16string SessionList(const std::vector<std::uint32_t>& sessions) {
  std::u16string list;
  for (const std::uint32_t session : sessions) {
    if (!list.empty()) list += u", ";
    list += text::Decimal(session);
  }
  return list;
}

}  // namespace

AgentShutdownOutcome EndAgents(AgentShutdownPlatform& platform, std::chrono::milliseconds limit) {
  AgentShutdownOutcome outcome;
  std::uint32_t error = 0;
  std::unique_ptr<UpdateEvent> event = platform.OpenUpdateEvent(error);
  if (!event) {
    // No event: neither service nor agent runs, or it cannot be reached.
    // Either way the installer's own service stop and files-in-use handling
    // remain.
    platform.Log(u"EndAgents: no update event to set (error " + text::Decimal(error) + u")");
    outcome.agents_left = platform.SessionsWithAgent();
    return outcome;
  }
  outcome.event_set = event->Set();
  if (!outcome.event_set) platform.Log(u"EndAgents: the update event could not be set");

  const auto deadline = platform.Now() + limit;
  for (;;) {
    outcome.agents_left = platform.SessionsWithAgent();
    if (outcome.agents_left.empty() || !outcome.event_set || platform.Now() >= deadline) break;
    platform.Sleep(kAgentPollInterval);
  }
  // Reset before letting go: whoever still holds the event (an agent that
  // outlived the wait) must not make the new service stop at its start.
  if (outcome.event_set && !event->Reset()) platform.Log(u"EndAgents: the update event could not be reset");
  event.reset();

  if (outcome.agents_left.empty()) {
    platform.Log(u"EndAgents: no agent runs");
  } else {
    platform.Log(u"EndAgents: agents still run in sessions " + SessionList(outcome.agents_left) +
                 u"; their files are replaced at the next restart");
  }
  return outcome;
}

}  // namespace installer
