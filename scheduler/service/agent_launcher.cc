#include "scheduler/service/agent_launcher.h"

namespace service {

std::u16string AgentCommandLine(std::u16string_view own_path) {
  std::u16string line;
  line.reserve(own_path.size() + 8);
  line += u'"';
  line += own_path;
  line += u"\" /user";
  return line;
}

bool AgentLauncher::LaunchAgentInSession(std::uint32_t session) {
  threads::Lock lock(launch_lock_);
  // The probe comes before the token query: a served session costs nothing.
  if (platform_.IsAgentInSession(session)) return false;
  events::AgentStart outcome;
  std::unique_ptr<StartedAgent> agent = platform_.StartAgent(session, outcome);
  // A platform that failed without saying why counts as a failed creation.
  if (!agent && outcome.result == events::AgentStart::Result::kStarted) {
    outcome.result = events::AgentStart::Result::kNoProcess;
  }
  events::AgentStartEnded(session, outcome);
  if (!agent) return false;

  // Hand-off: keep the next probe out until this agent holds its mutex. An
  // agent that ends at once (a user who is no administrator) ends the wait too.
  for (auto waited = std::chrono::milliseconds::zero(); waited < kHandOffLimit; waited += kHandOffPoll) {
    if (platform_.IsAgentInSession(session)) break;
    if (agent->WaitForExit(kHandOffPoll)) break;
  }
  return true;
}

}  // namespace service
