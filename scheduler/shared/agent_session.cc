#include "scheduler/shared/agent_session.h"

namespace shared {

std::u16string AgentSessionMutexName(std::uint32_t session) {
  std::u16string name = u"Global\\Veltrane Scheduler Session ";
  const bool negative = static_cast<std::int32_t>(session) < 0;
  std::uint32_t magnitude = negative ? 0u - session : session;
  char16_t digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) name.push_back(u'-');
  while (count > 0) name.push_back(digits[--count]);
  return name;
}

}  // namespace shared
