#include "scheduler/shared/agent_session.h"

#include <gtest/gtest.h>

namespace shared {
namespace {

TEST(AgentNamesTest, MutexNameCarriesTheSessionAsSignedDecimal) {
  EXPECT_EQ(AgentSessionMutexName(0), u"Global\\Veltrane Scheduler Session 0");
  EXPECT_EQ(AgentSessionMutexName(1), u"Global\\Veltrane Scheduler Session 1");
  EXPECT_EQ(AgentSessionMutexName(2147483647u), u"Global\\Veltrane Scheduler Session 2147483647");
  EXPECT_EQ(AgentSessionMutexName(2147483648u), u"Global\\Veltrane Scheduler Session -2147483648");
  EXPECT_EQ(AgentSessionMutexName(0xFFFFFFFFu), u"Global\\Veltrane Scheduler Session -1");
  // It must fit the 64-unit buffer both sides format it into.
  EXPECT_LT(AgentSessionMutexName(2147483648u).size(), 64u);
}

}  // namespace
}  // namespace shared
