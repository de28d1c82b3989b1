#include "scheduler/shared/agent_session.h"

#include "common/text/decimal.h"

namespace shared {

std::u16string AgentSessionMutexName(std::uint32_t session) {
  std::u16string name = u"Global\\Veltrane Scheduler Session ";
  const bool negative = static_cast<std::int32_t>(session) < 0;
  if (negative) name.push_back(u'-');
  return name + text::Decimal(negative ? 0u - session : session);
}

}  // namespace shared
