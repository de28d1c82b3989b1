// How the scheduler creates a process: in its own session (the agent's scan)
// or into a user's session under that user's token (the agent the service
// starts). The Windows layer (win32/user_process.h) follows this plan.
#pragma once

#include <cstdint>

namespace shared {

// CREATE_UNICODE_ENVIRONMENT: the environment block is UTF-16.
inline constexpr std::uint32_t kCreateUnicodeEnvironment = 0x00000400;

struct ProcessCreation {
  bool inherit_handles = false;
  std::uint32_t flags = 0;
  // Whether the block built from the user's token is passed; without it the
  // new process inherits the creator's environment.
  bool pass_user_environment = false;
};

// `as_user`: the process is created under a user's token, in that user's
// session. Handles cannot be inherited across sessions, so such a process
// inherits none; it gets the user's own environment when the block could be
// built from the token. A process in the creator's own session inherits
// handles and environment.
ProcessCreation PlanProcessCreation(bool as_user, std::uint32_t base_flags, bool user_environment_built);

}  // namespace shared
