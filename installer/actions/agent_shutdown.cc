#include "installer/actions/agent_shutdown.h"

namespace installer {
namespace {

std::u16string Decimal(std::uint32_t number) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + number % 10));
    number /= 10;
  } while (number != 0);
  return text;
}

std::u16string SessionList(const std::vector<std::uint32_t>& sessions) {
  std::u16string text;
  for (const std::uint32_t session : sessions) {
    if (!text.empty()) text += u", ";
    text += Decimal(session);
  }
  return text;
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
    platform.Log(u"EndAgents: no update event to set (error " + Decimal(error) + u")");
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
