#include "scheduler/service/agent_launcher.h"

#include <cstdio>

namespace service {

std::u16string AgentSessionMutexName(std::uint32_t session) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", static_cast<int>(session));
  std::u16string name = u"Global\\Veltrane Scheduler Session ";
  for (const char* p = digits; *p != 0; ++p) name.push_back(static_cast<char16_t>(*p));
  return name;
}

std::u16string AgentCommandLine(std::u16string_view own_path) {
  std::u16string line;
  line.reserve(own_path.size() + 8);
  line += u'"';
  line += own_path;
  line += u"\" /user";
  return line;
}

bool AgentLauncher::LaunchAgentInSession(std::uint32_t session) {
  std::lock_guard<std::mutex> lock(launch_lock_);
  // The probe comes before the token query: a served session costs nothing.
  if (platform_.IsAgentInSession(session)) return false;
  std::unique_ptr<StartedAgent> agent = platform_.StartAgent(session);
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
