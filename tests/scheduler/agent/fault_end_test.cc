#include "scheduler/agent/fault_end.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace agent {
namespace {

using ::testing::ElementsAre;
using std::chrono::milliseconds;

class RecordingHost : public FaultEndHost {
 public:
  std::vector<std::string> calls;
  std::function<void()> during_start;  // what happens while the service is asked for

  void ReportFault(std::uint32_t code, bool brought_back) override {
    calls.push_back("report " + std::to_string(code) + (brought_back ? " back" : " end"));
  }
  void ReleaseSession() override { calls.push_back("release"); }
  void StartService() override {
    calls.push_back("start");
    if (during_start) during_start();
  }
  void EndProcess(std::uint32_t exit_code) override { calls.push_back("end " + std::to_string(exit_code)); }
  void WaitForEnd() override { calls.push_back("wait"); }
};

constexpr std::uint32_t kAccessViolation = 0xC0000005u;
constexpr std::uint32_t kThread = 7;

TEST(FaultEndTest, OnlyAnAgentThatRanAMinuteIsBroughtBackAndTheSessionIsFreeBeforeTheServiceIsAsked) {
  const milliseconds started{5000000};
  struct Case {
    milliseconds ran;
    std::vector<std::string> calls;
  };
  const std::vector<std::string> ends_only = {"report 3221225477 end", "end 3221225477"};
  const std::vector<std::string> brought_back = {"report 3221225477 back", "release", "start", "end 3221225477"};
  for (const Case& c : {Case{milliseconds{0}, ends_only}, Case{milliseconds{59999}, ends_only},
                        Case{milliseconds{60000}, brought_back}, Case{milliseconds{86400000}, brought_back},
                        Case{milliseconds{-1}, ends_only}}) {  // a clock that went back proves no run
    FaultEnd fault_end;
    fault_end.Start(started);
    RecordingHost host;
    fault_end.OnFault(host, kAccessViolation, kThread, started + c.ran);
    EXPECT_EQ(host.calls, c.calls) << c.ran.count() << " ms";
  }
}

TEST(FaultEndTest, AFaultAfterTheLoopHasReturnedOnlyEnds) {
  FaultEnd fault_end;
  fault_end.Start(milliseconds{0});
  fault_end.EndTurn();
  RecordingHost host;
  fault_end.OnFault(host, 9, kThread, milliseconds{120000});
  EXPECT_THAT(host.calls, ElementsAre("report 9 end", "end 9"));
}

TEST(FaultEndTest, AFaultWhileTheFirstIsHandledEndsAtOnceOnItsThreadAndWaitsOnAnother) {
  FaultEnd fault_end;
  fault_end.Start(milliseconds{0});
  RecordingHost host;
  // Asking for the service faults on the same thread, then another thread
  // faults too: neither reports again nor asks for the service again.
  host.during_start = [&] {
    fault_end.OnFault(host, 5, kThread, milliseconds{70000});
    fault_end.OnFault(host, 6, kThread + 1, milliseconds{70000});
  };
  fault_end.OnFault(host, 4, kThread, milliseconds{65000});
  EXPECT_THAT(host.calls, ElementsAre("report 4 back", "release", "start", "end 5", "wait", "end 4"));
}

}  // namespace
}  // namespace agent
