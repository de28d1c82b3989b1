#include "scheduler/shared/process_creation.h"

namespace shared {

ProcessCreation PlanProcessCreation(bool as_user, std::uint32_t base_flags, bool user_environment_built) {
  ProcessCreation plan;
  plan.flags = base_flags;
  if (!as_user) {
    plan.inherit_handles = true;
    return plan;
  }
  if (user_environment_built) {
    plan.pass_user_environment = true;
    plan.flags |= kCreateUnicodeEnvironment;
  }
  return plan;
}

}  // namespace shared
