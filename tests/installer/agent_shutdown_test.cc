#include "installer/actions/agent_shutdown.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace installer {
namespace {

using namespace std::chrono_literals;

// Sessions whose agents leave after a number of looks, an update event that
// records what is done to it, and a clock that moves only when slept on.
class FakePlatform : public AgentShutdownPlatform {
 public:
  struct FakeEvent : UpdateEvent {
    explicit FakeEvent(std::vector<std::string>& calls) : calls(calls) {}
    ~FakeEvent() override { calls.push_back("close"); }
    bool Set() override { return calls.push_back("set"), true; }
    bool Reset() override { return calls.push_back("reset"), true; }
    std::vector<std::string>& calls;
  };

  std::unique_ptr<UpdateEvent> OpenUpdateEvent(std::uint32_t&) override { return std::make_unique<FakeEvent>(calls_); }
  std::vector<std::uint32_t> SessionsWithAgent() override {
    calls_.push_back("look");
    return ++looks_ > agent_looks_ ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{1, 3};
  }
  std::chrono::steady_clock::time_point Now() override { return now_; }
  void Sleep(std::chrono::milliseconds pause) override { now_ += pause; }
  void Log(const std::u16string& line) override { lines_.push_back(line); }

  int agent_looks_ = 0;  // how many looks still find the agents of sessions 1 and 3
  int looks_ = 0;
  std::vector<std::string> calls_;
  std::chrono::steady_clock::time_point now_;
  std::vector<std::u16string> lines_;
};

TEST(EndAgentsTest, SetsTheEventWaitsForTheAgentsThenResetsAndClosesIt) {
  FakePlatform platform;
  platform.agent_looks_ = 3;
  const AgentShutdownOutcome outcome = EndAgents(platform, 30s);
  EXPECT_TRUE(outcome.event_set);
  EXPECT_TRUE(outcome.agents_left.empty());
  EXPECT_EQ(platform.calls_, (std::vector<std::string>{"set", "look", "look", "look", "look", "reset", "close"}));
  EXPECT_EQ(platform.now_ - std::chrono::steady_clock::time_point{}, 3 * kAgentPollInterval);
  EXPECT_EQ(platform.lines_.back(), u"EndAgents: no agent runs");
}

TEST(EndAgentsTest, AgentsThatOutliveTheLimitAreReportedAndTheEventIsResetAnyway) {
  FakePlatform platform;
  platform.agent_looks_ = 1000000;
  const AgentShutdownOutcome outcome = EndAgents(platform, 2s);
  EXPECT_EQ(outcome.agents_left, (std::vector<std::uint32_t>{1, 3}));
  EXPECT_EQ(platform.now_ - std::chrono::steady_clock::time_point{}, 2s);
  EXPECT_EQ(platform.calls_.end()[-2], "reset");
  EXPECT_EQ(platform.calls_.back(), "close");
  EXPECT_NE(platform.lines_.back().find(u"sessions 1, 3;"), std::u16string::npos);
}

}  // namespace
}  // namespace installer
