#include "scheduler/agent/fault_end.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace agent {
namespace {

using std::chrono::milliseconds;

struct RecordingHost : FaultEndHost {
  std::string calls;
  std::function<void()> during_start = [] {};
  // What the agent finds after each pause: "s" the service stopped, "a" the
  // next agent in the session, "-" neither; past the end, the agent is there.
  std::string seen;
  std::size_t pauses = 0;
  void ReportFault(std::uint32_t code, bool back) override {
    calls += "report" + std::to_string(code) + (back ? "+ " : " ");
  }
  void ReleaseSession() override { calls += "release "; }
  void StartService() override {
    calls += "start ";
    during_start();
  }
  bool ServiceStopped() override { return seen[pauses - 1] == 's'; }
  bool SessionServed() override { return pauses > seen.size() || seen[pauses - 1] == 'a'; }
  void Pause(milliseconds) override { ++pauses; }
  void EndProcess(std::uint32_t code) override { calls += "end" + std::to_string(code) + " "; }
  void WaitForEnd() override { calls += "wait "; }
};

TEST(FaultEndTest, OnlyAnAgentStillInItsTurnAfterAMinuteFreesItsSessionAndAsksForTheService) {
  // How long it ran (-1: a clock that went back proves no run), whether its loop had returned.
  for (const auto& [ran, turn_over, calls] :
       {std::tuple{59999, false, "report5 end5 "}, std::tuple{60000, false, "report5+ release start end5 "},
        std::tuple{-1, false, "report5 end5 "}, std::tuple{600000, true, "report5 end5 "}}) {
    FaultEnd fault_end;
    fault_end.Start(milliseconds{1000000});
    if (turn_over) fault_end.EndTurn();
    RecordingHost host;
    fault_end.OnFault(host, 5, 7, milliseconds{1000000 + ran});
    EXPECT_EQ(host.calls, calls) << ran << " ms";
  }
  // A fault while the first is handled: at once on the same thread, the
  // first thread's end awaited on another.
  FaultEnd fault_end;
  RecordingHost host;
  host.during_start = [&] {
    fault_end.OnFault(host, 6, 7, milliseconds{70000});
    fault_end.OnFault(host, 8, 9, milliseconds{70000});
  };
  fault_end.OnFault(host, 4, 7, milliseconds{65000});
  EXPECT_EQ(host.calls, "report4+ release start end6 wait end4 ");
}

TEST(FaultEndTest, TheServiceIsAskedAgainOnlyWhenFoundStoppedWithTheSessionFreeAndNoLongerThanTheLimit) {
  for (const auto& [seen, calls] : {std::pair{"--s--s-a", "report5+ release start start start end5 "},
                                    std::pair{"-------a", "report5+ release start end5 "}}) {
    FaultEnd fault_end;
    RecordingHost host;
    host.seen = seen;
    fault_end.OnFault(host, 5, 7, kShortestRunBroughtBack);
    EXPECT_EQ(host.calls, calls) << seen;
    EXPECT_EQ(host.pauses, std::string(seen).size()) << seen;
  }
  // Never served: given up at the limit.
  FaultEnd fault_end;
  RecordingHost host;
  host.seen = std::string(1000, 's');
  fault_end.OnFault(host, 5, 7, kShortestRunBroughtBack);
  EXPECT_EQ(host.pauses, static_cast<std::size_t>(kSuccessorLimit / kSuccessorPoll));
}

}  // namespace
}  // namespace agent
