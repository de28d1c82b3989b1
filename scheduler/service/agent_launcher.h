// Starting the agent in a user session, at most one per session.
//
// The service asks for an agent from two threads: ServiceMain at its start
// and the control handler at each console logon. Between creating the agent
// process and the moment that agent holds its session mutex lies a short
// window in which a second probe would find no agent and start another one.
// AgentLauncher closes that window: one launch at a time, and a launch is not
// over until its agent holds the mutex, has ended, or the hand-off time is up.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "common/threads/threads.h"
#include "scheduler/events/scheduler_events.h"
#include "scheduler/shared/agent_session.h"

namespace service {

// "\"<path>\" /user": the agent's command line.
std::u16string AgentCommandLine(std::u16string_view own_path);

// An agent process that was just created.
class StartedAgent {
 public:
  virtual ~StartedAgent() = default;
  // Waits up to `timeout` for the process to end; true when it has ended.
  virtual bool WaitForExit(std::chrono::milliseconds timeout) = 0;
};

class AgentLaunchPlatform {
 public:
  virtual ~AgentLaunchPlatform() = default;
  // True when the session's agent mutex exists and could be opened.
  virtual bool IsAgentInSession(std::uint32_t session) = 0;
  // Takes the session user's token and creates the agent process with it;
  // null when there is no token or the process could not be created.
  // `outcome` tells which, with the user, the process id or the error.
  virtual std::unique_ptr<StartedAgent> StartAgent(std::uint32_t session, events::AgentStart& outcome) = 0;
};

class AgentLauncher {
 public:
  // How long a launch waits for its agent to take the session mutex.
  static constexpr std::chrono::milliseconds kHandOffLimit{10000};
  static constexpr std::chrono::milliseconds kHandOffPoll{50};

  explicit AgentLauncher(AgentLaunchPlatform& platform) : platform_(platform) {}

  // True when a new agent process was created; false when one serves the
  // session already or the launch failed.
  bool LaunchAgentInSession(std::uint32_t session);

 private:
  AgentLaunchPlatform& platform_;
  threads::Mutex launch_lock_;
};

}  // namespace service
