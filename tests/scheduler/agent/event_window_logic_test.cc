#include "scheduler/agent/event_window_logic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace agent {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RecordingWindowHost : public EventWindowHost {
 public:
  std::vector<std::string> calls_;
  void StopService() override { calls_.push_back("stop-service"); }
  void StartService(bool end_session) override {
    calls_.push_back(end_session ? "start-service endsession" : "start-service");
  }
  void StopTick() override { calls_.push_back("kill-tick"); }
  void PostQuit() override { calls_.push_back("quit"); }
  void CheckBusy() override { calls_.push_back("busy"); }
};

TEST(EventWindowTest, CreateStopsTheServiceAndDestroyEndsTheLoop) {
  RecordingWindowHost host;
  EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kCreate, 0, 0, host), 0);
  EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kDestroy, 0, 0, host), 0);
  EXPECT_THAT(host.calls_, ElementsAre("stop-service", "quit"));
}

TEST(EventWindowTest, NeverObjectsToTheSessionsEnd) {
  RecordingWindowHost host;
  EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kQueryEndSession, 0, 0, host), 1);
  EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kQueryEndSession, 0, kEndSessionLogoff, host), 1);
  EXPECT_THAT(host.calls_, IsEmpty());
}

TEST(EventWindowTest, EveryRealEndOfSessionStopsTheTickAndStartsTheServiceWithEndSession) {
  // Log-off, a log-off among other bits, and a shutdown (lParam 0: with Fast
  // Startup session 0 is hibernated with the service as it stands).
  for (std::uint64_t reason : {kEndSessionLogoff, 0x1u | 0x40000000u | kEndSessionLogoff, std::uint64_t{0}}) {
    RecordingWindowHost host;
    EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kEndSession, 1, reason, host), 0);
    EXPECT_THAT(host.calls_, ElementsAre("kill-tick", "start-service endsession")) << reason;
  }
}

TEST(EventWindowTest, AnApplicationCloseEndsTheLoopAndIsNoEndOfSession) {
  // Restart Manager's close, also as a critical one (ENDSESSION_CRITICAL).
  for (std::uint64_t reason : {kEndSessionCloseApp, kEndSessionCloseApp | 0x40000000u}) {
    RecordingWindowHost host;
    EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kQueryEndSession, 0, reason, host), 1);
    EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kEndSession, 1, reason, host), 0);
    EXPECT_THAT(host.calls_, ElementsAre("kill-tick", "quit")) << reason;
  }
}

TEST(EventWindowTest, CancelledEndOfSessionDoesNothing) {
  RecordingWindowHost host;
  for (std::uint64_t reason : {kEndSessionLogoff, std::uint64_t{0}}) {
    EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kEndSession, 0, reason, host), 0);
  }
  EXPECT_THAT(host.calls_, IsEmpty());
}

TEST(EventWindowTest, TickRunsTheBusyTestAndLeavesTheRestToTheDefault) {
  RecordingWindowHost host;
  EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kTimer, 1, 0, host), std::nullopt);
  EXPECT_EQ(HandleEventWindowMessage(WindowMessage::kOther, 0, 0, host), std::nullopt);
  EXPECT_THAT(host.calls_, ElementsAre("busy"));
}

}  // namespace
}  // namespace agent
