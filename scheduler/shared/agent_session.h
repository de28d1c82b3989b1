// The name of the mutex by which a session's agent is known.
#pragma once

#include <cstdint>
#include <string>

namespace shared {

// "Global\Veltrane Scheduler Session %d": the mutex that the agent of a
// session holds for its lifetime. The id is written as a signed number.
std::u16string AgentSessionMutexName(std::uint32_t session);

}  // namespace shared
