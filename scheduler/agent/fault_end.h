// How the agent ends when a fault nothing handles reaches the top of a thread,
// or the runtime aborts. The agent and the service take turns: while the agent
// runs the service is stopped, so an agent that simply vanished would leave
// nothing to start the next one. An agent that has run at least a minute asks
// for the service, which brings a new agent as at its start, and then ends at
// once; one that faults sooner only ends, so that a fault at start-up cannot
// turn into a loop of agents. The Windows layer (win32/fault_filter.cc) calls
// this from its top-level exception filter and its abort handler, in a
// damaged process: nothing here allocates or takes a lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace agent {

// The shortest run after which a faulting agent is brought back.
inline constexpr std::chrono::milliseconds kShortestRunBroughtBack{60000};
// How long a faulting agent that brings the service back waits for the next
// agent to hold the session, and how often it looks.
inline constexpr std::chrono::milliseconds kSuccessorLimit{30000};
inline constexpr std::chrono::milliseconds kSuccessorPoll{250};

// True when an agent that started at `started` and faults at `now` (both on
// one monotonic clock) is brought back.
bool BringsBackAfterFault(std::chrono::milliseconds started, std::chrono::milliseconds now);

class FaultEndHost {
 public:
  virtual ~FaultEndHost() = default;
  // The one place where the fault is reported, before anything else is done;
  // `brought_back` tells whether a new agent is asked for.
  virtual void ReportFault(std::uint32_t code, bool brought_back) = 0;
  // Gives up the session mutex, so that the service finds the session free.
  virtual void ReleaseSession() = 0;
  // Starts the service without argument, as the end of the agent's loop does.
  virtual void StartService() = 0;
  // True when the service is stopped (not starting, running or stopping).
  virtual bool ServiceStopped() = 0;
  // True when an agent holds this session again: the next one has come.
  virtual bool SessionServed() = 0;
  virtual void Pause(std::chrono::milliseconds time) = 0;
  // Ends the process at once with `exit_code`; does not return on Windows.
  virtual void EndProcess(std::uint32_t exit_code) = 0;
  // Waits for the thread that handles the first fault to end the process.
  virtual void WaitForEnd() = 0;
};

class FaultEnd {
 public:
  // The agent starts at `now`.
  void Start(std::chrono::milliseconds now) { started_ = now; }
  // The agent's loop has returned: the service was asked back, or stays
  // stopped for an update. A later fault only ends the process.
  void EndTurn() { turn_over_ = true; }

  // A fault with `code` on thread `thread` (never 0) at `now`. The first fault
  // is reported and, after a run long enough, brings the service back: the
  // process gives up its session, starts the service and stays until the next
  // agent holds the session, starting the service again whenever it is found
  // stopped with the session still free (a start that came too early, an
  // agent that did not last), for at most kSuccessorLimit; it then ends with
  // `code`. A fault of the same thread while that is
  // under way ends the process at once; one of another thread leaves the end
  // to the first.
  void OnFault(FaultEndHost& host, std::uint32_t code, std::uint32_t thread, std::chrono::milliseconds now);

 private:
  std::chrono::milliseconds started_{0};
  std::atomic<bool> turn_over_{false};
  std::atomic<std::uint32_t> handling_thread_{0};
};

}  // namespace agent
