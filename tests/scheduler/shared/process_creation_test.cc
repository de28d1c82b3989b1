#include "scheduler/shared/process_creation.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace shared {
namespace {

TEST(ProcessCreationTest, IntoAUserSessionNothingIsInheritedAndTheUsersEnvironmentComesWithItsFlag) {
  constexpr std::uint32_t kNewConsole = 0x10, kNormalPriority = 0x20;
  const ProcessCreation with_block = PlanProcessCreation(true, kNewConsole | kNormalPriority, true);
  EXPECT_FALSE(with_block.inherit_handles);
  EXPECT_TRUE(with_block.pass_user_environment);
  EXPECT_EQ(with_block.flags, kNewConsole | kNormalPriority | kCreateUnicodeEnvironment);

  // Without a block the creator's environment is inherited: no Unicode flag.
  const ProcessCreation without_block = PlanProcessCreation(true, 0, false);
  EXPECT_FALSE(without_block.inherit_handles);
  EXPECT_FALSE(without_block.pass_user_environment);
  EXPECT_EQ(without_block.flags, 0u);

  // In the creator's own session handles may still be inherited.
  const ProcessCreation own_session = PlanProcessCreation(false, 0, true);
  EXPECT_TRUE(own_session.inherit_handles);
  EXPECT_FALSE(own_session.pass_user_environment);
  EXPECT_EQ(own_session.flags, 0u);
}

}  // namespace
}  // namespace shared
