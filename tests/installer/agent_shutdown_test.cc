#include "installer/actions/agent_shutdown.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/actions/folder_text.h"

namespace installer {
namespace {

using namespace std::chrono_literals;

// Sessions whose agents leave after a number of looks, an update event that
// records what is done to it, and a clock that moves only when slept on.
class FakePlatform : public AgentShutdownPlatform {
 public:
  struct EventLog {
    std::vector<std::string> calls;
  };
  class FakeEvent : public UpdateEvent {
   public:
    explicit FakeEvent(EventLog& log) : log_(log) {}
    ~FakeEvent() override { log_.calls.push_back("close"); }
    bool Set() override { return log_.calls.push_back("set"), true; }
    bool Reset() override { return log_.calls.push_back("reset"), true; }

   private:
    EventLog& log_;
  };

  std::unique_ptr<UpdateEvent> OpenUpdateEvent(std::uint32_t& error) override {
    if (!event_exists) return error = 2, nullptr;
    return std::make_unique<FakeEvent>(event);
  }
  std::vector<std::uint32_t> SessionsWithAgent() override {
    event.calls.push_back("look");
    ++looks;
    return looks > agent_looks ? std::vector<std::uint32_t>{} : agents;
  }
  std::chrono::steady_clock::time_point Now() override { return now; }
  void Sleep(std::chrono::milliseconds pause) override { now += pause; }
  void Log(const std::u16string& line) override { lines.push_back(line); }

  bool event_exists = true;
  std::vector<std::uint32_t> agents = {1, 3};
  int agent_looks = 0;  // how many looks still find the agents
  int looks = 0;
  EventLog event;
  std::chrono::steady_clock::time_point now;
  std::vector<std::u16string> lines;
};

TEST(EndAgentsTest, SetsTheEventWaitsForTheAgentsThenResetsAndClosesIt) {
  FakePlatform platform;
  platform.agent_looks = 3;
  const AgentShutdownOutcome outcome = EndAgents(platform, 30s);
  EXPECT_TRUE(outcome.event_set);
  EXPECT_TRUE(outcome.agents_left.empty());
  EXPECT_EQ(platform.event.calls, (std::vector<std::string>{"set", "look", "look", "look", "look", "reset", "close"}));
  EXPECT_EQ(platform.now - std::chrono::steady_clock::time_point{}, 3 * kAgentPollInterval);
  EXPECT_EQ(platform.lines.back(), u"EndAgents: no agent runs");
}

TEST(EndAgentsTest, AgentsThatOutliveTheLimitAreReportedAndTheEventIsResetAnyway) {
  FakePlatform platform;
  platform.agent_looks = 1000000;
  const AgentShutdownOutcome outcome = EndAgents(platform, 2s);
  EXPECT_EQ(outcome.agents_left, (std::vector<std::uint32_t>{1, 3}));
  EXPECT_EQ(platform.now - std::chrono::steady_clock::time_point{}, 2s);
  EXPECT_EQ(platform.event.calls.end()[-2], "reset");
  EXPECT_EQ(platform.event.calls.back(), "close");
  EXPECT_NE(platform.lines.back().find(u"sessions 1, 3;"), std::u16string::npos);
}

TEST(EndAgentsTest, WithoutAnEventNothingIsSetOrAwaited) {
  FakePlatform platform;
  platform.event_exists = false;
  const AgentShutdownOutcome outcome = EndAgents(platform, 30s);
  EXPECT_FALSE(outcome.event_set);
  EXPECT_EQ(platform.looks, 1);
  EXPECT_EQ(platform.now, std::chrono::steady_clock::time_point{});
  EXPECT_EQ(platform.lines.front(), u"EndAgents: no update event to set (error 2)");
}

TEST(FolderTextTest, DropsTheTrailingBackslashesOnly) {
  EXPECT_EQ(FolderText(u"C:\\Program Files\\Quenor Clean\\"), u"C:\\Program Files\\Quenor Clean");
  EXPECT_EQ(FolderText(u"D:\\Tools\\\\"), u"D:\\Tools");
  EXPECT_EQ(FolderText(u"D:\\Tools"), u"D:\\Tools");
}

}  // namespace
}  // namespace installer
