#include "scheduler/agent/agent_loop.h"

#include "common/trace/trace.h"

namespace agent {

WaitList MakeWaitList(bool has_update_event, bool has_timer) {
  WaitList list;
  if (has_update_event) list.slots[list.count++] = WaitSlot::kUpdateEvent;
  if (has_timer) list.slots[list.count++] = WaitSlot::kScheduleTimer;
  return list;
}

bool ScanDeferral::OnDue(std::chrono::milliseconds limit, BusyState state, std::chrono::milliseconds now) {
  if (state != BusyState::kBusy) return true;
  deadline_ = now + limit;
  since_ = now;
  limit_ = limit;
  return false;
}

bool ScanDeferral::OnRecheck(BusyState state, std::chrono::milliseconds now) {
  if (!deadline_) return false;
  if (state == BusyState::kBusy && now < *deadline_) return false;
  deadline_.reset();
  return true;
}

namespace {

// "YYYY-MM-DD hh:mm:ss", the form the scan history is stored in.
std::u16string LocalTimeText(const datetime::DateTime& time) {
  const datetime::CalendarFields fields = time.ToCalendar().value_or(datetime::CalendarFields{});
  std::u16string text;
  const auto append = [&text](unsigned value, int digits, char16_t after) {
    std::u16string number(static_cast<std::size_t>(digits), u'0');
    for (int i = digits - 1; i >= 0; --i, value /= 10) number[static_cast<std::size_t>(i)] = u'0' + value % 10;
    text += number;
    if (after != 0) text += after;
  };
  append(fields.year, 4, u'-');
  append(fields.month, 2, u'-');
  append(fields.day, 2, u' ');
  append(fields.hour, 2, u':');
  append(fields.minute, 2, u':');
  append(fields.second, 2, 0);
  return text;
}

unsigned WholeMinutes(std::chrono::milliseconds span) {
  return static_cast<unsigned>(std::chrono::duration_cast<std::chrono::minutes>(span).count());
}

// The scan the armed run stands for, then the timer for the next period,
// which the launch's new lastScanTime moves past this one.
void StartDueScan(AgentLoopHost& host, std::optional<ArmedRun>& armed) {
  host.LaunchScheduledScan(armed && armed->catch_up ? events::ScanOccasion::kCatchUp
                                                    : events::ScanOccasion::kScheduled);
  armed = host.ArmScheduleTimer();
  if (armed) events::NextScanDue(LocalTimeText(armed->due));
}

}  // namespace

LoopEnd RunAgentLoop(AgentLoopHost& host) {
  const bool has_update_event = host.OpenUpdateEvent();
  host.LoadLastScanTime();
  const bool has_timer = host.CreateScheduleTimer();
  std::optional<ArmedRun> armed;
  if (has_timer) armed = host.ArmScheduleTimer();
  const WaitList list = MakeWaitList(has_update_event, has_timer);

  LoopEnd end = LoopEnd::kQuit;
  ScanDeferral deferral;
  for (;;) {
    if (!host.DispatchQueuedMessages()) break;
    // A waiting scan is looked at again after every wake-up: at the latest
    // on the window's one-second tick.
    if (deferral.waiting()) {
      const std::chrono::milliseconds since = deferral.since();
      const std::chrono::milliseconds limit = deferral.limit();
      const BusyState state = host.TestBusy();
      const std::chrono::milliseconds now = host.Now();
      if (deferral.OnRecheck(state, now)) {
        const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - since);
        events::DeferredScanStarts(state == BusyState::kBusy, static_cast<std::uint32_t>(waited.count()),
                                   WholeMinutes(limit));
        StartDueScan(host, armed);
      }
    }
    const WakeUp wake = host.Wait(list);
    if (wake.kind == WakeUp::Kind::kFailed) {
      host.PauseAfterFailedWait();
      continue;
    }
    if (wake.kind != WakeUp::Kind::kObject || wake.index >= list.count) continue;
    if (list.slots[wake.index] == WaitSlot::kUpdateEvent) {
      end = LoopEnd::kUpdateEvent;
      break;
    }
    const std::chrono::milliseconds limit = host.DeferBusyLimit();
    if (limit.count() == 0 || deferral.OnDue(limit, host.TestBusy(), host.Now())) {
      StartDueScan(host, armed);
    } else {
      trace::Trace("Scan waits for the user\r\n");
      events::ScanDeferred(WholeMinutes(limit));
    }
  }

  host.CloseHandles();
  // The session is free before the service is asked back, so that the
  // service, probing at its start, finds no agent there and starts the next.
  host.ReleaseSession();
  if (end == LoopEnd::kQuit) {
    host.StartService();
  } else {
    events::AgentEndedForUpdate();
  }
  return end;
}

}  // namespace agent
