#include "scheduler/schedule/schedule_keeper.h"

#include <algorithm>

#include "common/application/contract.h"
#include "common/text/decimal.h"

namespace schedule {

using datetime::DateTime;

std::u16string LocalTimeText(const DateTime& time) {
  const datetime::CalendarFields fields = time.ToCalendar().value_or(datetime::CalendarFields{});
  std::u16string text;
  const auto append = [&text](unsigned value, int digits, char16_t after) {
    text += text::Decimal(value, digits);
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

void ScheduleKeeper::Arm() {
  armed_for_ = ReadScheduleSettings(platform_.Settings());
  std::optional<ArmedRun> armed;
  if (!ArmScheduleTimer(platform_.Settings(), platform_.Timer(), platform_.Random(), &armed)) {
    // No schedule (or "startup"): whatever was armed before must not fire.
    platform_.CancelTimer();
  }
  armed_ = armed;
  if (armed_) events::SystemNextScanDue(LocalTimeText(armed_->due), armed_->catch_up, platform_.Account());
}

void ScheduleKeeper::ArmRecheck() {
  const DateTime recheck = DateTime::Now().AddSeconds(kBusyRecheckSeconds).ToUniversalTime();
  platform_.Timer().ArmAt(recheck.ticks());
}

void ScheduleKeeper::StartDueScan() {
  platform_.LaunchScan(armed_ && armed_->catch_up ? events::ScanOccasion::kCatchUp : events::ScanOccasion::kScheduled);
  Arm();
}

void ScheduleKeeper::Start() {
  keeping_ = true;
  lastScanTime = ReadLastScanTime(platform_.Settings());
  events::ScheduleKeptByService(platform_.Account());
  Arm();
}

void ScheduleKeeper::Stop() {
  if (!keeping_) return;
  keeping_ = false;
  deferred_since_.reset();
  platform_.CancelTimer();
  armed_.reset();
  armed_for_.reset();
}

void ScheduleKeeper::OnTimer() {
  if (!keeping_) return;
  const DateTime now = DateTime::Now();
  if (deferred_since_) {
    const bool busy = platform_.ConsoleUserBusy();
    const DateTime until = deferred_since_->AddSeconds(defer_minutes_ * 60.0);
    if (busy && now < until) return ArmRecheck();
    const auto waited =
        static_cast<std::uint32_t>((now.ticks() - deferred_since_->ticks()) / datetime::kTicksPerSecond);
    events::DeferredScanStarts(busy, waited, defer_minutes_);
    deferred_since_.reset();
    return StartDueScan();
  }
  // A stale signal: the run it stood for was replaced by a later arming.
  if (!armed_ || armed_->due > now.AddSeconds(kEarlySignalSeconds)) return;
  defer_minutes_ = std::min(platform_.Settings()
                                .ReadNumber(application::RegistryRoot::LocalMachine, application::kSettingsKeyPath,
                                            application::kSchedulerDeferBusyMinutesValue)
                                .value_or(0),
                            kLongestWaitMinutes);
  if (defer_minutes_ > 0 && platform_.ConsoleUserBusy()) {
    deferred_since_ = now;
    events::ScanDeferred(defer_minutes_);
    return ArmRecheck();
  }
  StartDueScan();
}

void ScheduleKeeper::OnResume() {
  // A scan that waits for a busy user keeps waiting: it is due already.
  if (!keeping_ || deferred_since_) return;
  const DateTime recorded = ReadLastScanTime(platform_.Settings());
  // MaxValue stands for no known scan; it never replaces a known one.
  if (recorded != DateTime::MaxValue() && (lastScanTime == DateTime::MaxValue() || recorded > lastScanTime)) {
    lastScanTime = recorded;
  }
  Arm();
}

void ScheduleKeeper::OnSettingsChanged() {
  if (!keeping_ || deferred_since_) return;
  if (armed_for_ && *armed_for_ == ReadScheduleSettings(platform_.Settings())) return;
  Arm();
}

}  // namespace schedule
