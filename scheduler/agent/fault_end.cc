#include "scheduler/agent/fault_end.h"

namespace agent {

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
    host.StartService();
  }
  host.EndProcess(code);
}

}  // namespace agent
