#include "installer/actions/agent_shutdown.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace installer {
namespace {

using namespace std::chrono_literals;

// Scheduler processes of which `left_` outlive any wait, and an update event
// that records what is done to it.
class FakePlatform : public AgentShutdownPlatform {
 public:
  struct FakeEvent : UpdateEvent {
    explicit FakeEvent(std::vector<std::string>& calls) : calls(calls) {}
    ~FakeEvent() override { calls.push_back("close"); }
    bool Set() override { return calls.push_back("set"), true; }
    bool Reset() override { return calls.push_back("reset"), true; }
    std::vector<std::string>& calls;
  };

  std::unique_ptr<UpdateEvent> OpenUpdateEvent(std::uint32_t&) override {
    calls_.push_back("open");
    return trusted_event_ ? std::make_unique<FakeEvent>(calls_) : nullptr;
  }
  std::size_t OpenSchedulerProcesses() override { return calls_.push_back("processes"), processes_; }
  std::size_t WaitForSchedulerProcesses(std::chrono::milliseconds limit) override {
    calls_.push_back("wait " + std::to_string(limit.count()));
    return left_;
  }
  void Log(const std::u16string& line) override { lines_.push_back(line); }

  bool trusted_event_ = true;
  std::size_t processes_ = 3;
  std::size_t left_ = 0;
  std::vector<std::string> calls_;
  std::vector<std::u16string> lines_;
};

TEST(EndAgentsTest, SetsTheEventWaitsForTheProcessesThenResetsAndClosesIt) {
  FakePlatform platform;
  const AgentShutdownOutcome outcome = EndAgents(platform, 30s);
  EXPECT_TRUE(outcome.event_set);
  EXPECT_EQ(outcome.processes_left, 0u);
  EXPECT_EQ(platform.calls_, (std::vector<std::string>{"processes", "open", "set", "wait 30000", "reset", "close"}));
  EXPECT_EQ(platform.lines_.back(), u"EndAgents: 3 scheduler processes ended");
}

TEST(EndAgentsTest, ProcessesThatOutliveTheLimitAreReportedAndTheEventIsResetAnyway) {
  FakePlatform platform;
  platform.left_ = 2;
  const AgentShutdownOutcome outcome = EndAgents(platform, 2s);
  EXPECT_EQ(outcome.processes_left, 2u);
  EXPECT_EQ(platform.calls_.end()[-2], "reset");
  EXPECT_EQ(platform.calls_.back(), "close");
  EXPECT_EQ(platform.lines_.back().rfind(u"EndAgents: 2 scheduler processes still run;", 0), 0u);
}

TEST(EndAgentsTest, WithoutProcessesOrATrustedEventNothingIsSetAndNothingWaitedFor) {
  FakePlatform none;
  none.processes_ = 0;
  EXPECT_FALSE(EndAgents(none, 30s).event_set);
  EXPECT_EQ(none.calls_, (std::vector<std::string>{"processes"}));

  FakePlatform squatted;
  squatted.trusted_event_ = false;
  EXPECT_EQ(EndAgents(squatted, 30s).processes_left, 3u);
  EXPECT_EQ(squatted.calls_, (std::vector<std::string>{"processes", "open"}));
}

}  // namespace
}  // namespace installer
