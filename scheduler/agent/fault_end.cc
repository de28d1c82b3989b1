#include "scheduler/agent/fault_end.h"

namespace agent {
namespace {

// While the old agent lives, nothing of it is left for the service to see:
// its session is free, so the service that comes starts the next agent, and
// that agent stops the service once it holds the session. The service is
// asked again only when it is stopped and the session still free, so that a
// service that is starting, running or stopping is never asked twice.
void BringBackService(FaultEndHost& host) {
  host.StartService();
  for (auto waited = std::chrono::milliseconds::zero(); waited < kSuccessorLimit; waited += kSuccessorPoll) {
    host.Pause(kSuccessorPoll);
    if (host.SessionServed()) return;
    if (host.ServiceStopped()) host.StartService();
  }
}

}  // namespace

bool BringsBackAfterFault(std::chrono::milliseconds started, std::chrono::milliseconds now) {
  return now >= started && now - started >= kShortestRunBroughtBack;
}

void FaultEnd::OnFault(FaultEndHost& host, std::uint32_t code, std::uint32_t thread, std::chrono::milliseconds now) {
  std::uint32_t expected = 0;
  if (!handling_thread_.compare_exchange_strong(expected, thread)) {
    // The handling itself faulted: nothing more is tried.
    if (expected == thread) {
      host.EndProcess(code);
    } else {
      host.WaitForEnd();
    }
    return;
  }
  const bool bring_back = !turn_over_ && BringsBackAfterFault(started_, now);
  host.ReportFault(code, bring_back);
  if (bring_back) {
    host.ReleaseSession();
    BringBackService(host);
  }
  host.EndProcess(code);
}

}  // namespace agent
