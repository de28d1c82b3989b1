// The scan schedule: the settings that say when a scan is due, the next due
// time, and the arming of the agent's waitable timer with it.
//
// Nothing is cached: every call reads the settings again through the given
// source (the registry on Windows; see win32/waitable_timer.h) and the clock
// through datetime::ActiveClock().
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/application/settings_source.h"
#include "scheduler/schedule/datetime/date_time.h"
#include "scheduler/schedule/datetime/time_span.h"
#include "scheduler/schedule/setting_text.h"

namespace schedule {

// The last-scan time as this process knows it. Starts as MaxValue (no known
// last scan); the agent loop sets it from "LastScan" at its start
// (ReadLastScanTime), and the scan launcher sets it to DateTime::Now() at the
// start of every launch attempt. Read by NextDailyRun and NextWeeklyRun to
// detect a missed run. Touched by one thread of a process only.
extern datetime::DateTime lastScanTime;

// The timer that the schedule arms. Arming replaces any earlier due time; a
// due time already past makes the timer signal at once.
class WaitableTimer {
 public:
  virtual ~WaitableTimer() = default;
  // Arms the timer, without period, for an absolute UTC instant given in
  // ticks since 1601 (always > 0). True when it was armed.
  virtual bool ArmAt(std::int64_t utc_ticks) = 0;
};

// "LastScan" parsed as a timestamp, or MaxValue when it is missing, too long
// for its 128-byte buffer, or no timestamp.
datetime::DateTime ReadLastScanTime(const application::SettingsSource& settings);

// True exactly when "SchedulerWhen" can be read and is "startup" (any case).
bool IsStartupSchedule(const application::SettingsSource& settings);

// The next daily run at `time_of_day` (from midnight), Local. Today's run
// time if it lies more than 3 s ahead; otherwise now + 10 s when
// lastScanTime is more than 24 h old (a missed run), else tomorrow's.
datetime::DateTime NextDailyRun(datetime::TimeSpan time_of_day);

// The next weekly run on `day_of_week` (0 = Sunday ... 6 = Saturday) at
// `time_of_day`, Local: this week's if it lies more than 3 s ahead; otherwise
// now + 10 s when lastScanTime is more than 7 days old, else a week later.
datetime::DateTime NextWeeklyRun(int day_of_week, datetime::TimeSpan time_of_day);

// The longest wait the scheduler accepts from "SchedulerDeferBusyMinutes" and
// "SchedulerRandomDelayMinutes": a larger value counts as this (one day).
inline constexpr std::uint32_t kLongestWaitMinutes = 24 * 60;

// Uniform random whole numbers.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // A number in [0, bound); `bound` > 0.
  virtual std::uint32_t Below(std::uint32_t bound) = 0;
};

// The delay for one scheduled run: a random whole number of seconds below
// "SchedulerRandomDelayMinutes" (at most kLongestWaitMinutes), 0 when that
// setting is absent, 0 or no count.
std::uint32_t RandomDelaySeconds(const application::SettingsSource& settings, RandomSource& random);

// What ArmScheduleTimer armed the timer for.
struct ArmedRun {
  datetime::DateTime due;  // Local
  bool catch_up = false;   // a missed run, caught up shortly after now
};

// Reads "SchedulerWhen" and "SchedulerAround", computes the next due time and
// arms `timer` with it, converted to UTC with the zone offset in effect now.
// With `random`, a scheduled run (not a catch-up) comes RandomDelaySeconds
// later.
// True when the timer was armed, and for the "startup" schedule, which arms
// nothing. False, with nothing armed, when "SchedulerWhen" is missing or no
// schedule word, when the due time lies outside the calendar (before 1601 or
// after 30827), or when the timer refuses. `armed`, when given, receives the
// run the timer stands at, or nothing when none was armed.
bool ArmScheduleTimer(const application::SettingsSource& settings, WaitableTimer& timer, RandomSource* random = nullptr,
                      std::optional<ArmedRun>* armed = nullptr);

// Who keeps the schedule ("SchedulerRunAs"): the agent of an administrator
// at the console, or the service itself.
enum class RunAs { kUser, kSystem };
// kSystem exactly when "SchedulerRunAs" reads "system" (any case).
RunAs ReadRunAs(const application::SettingsSource& settings);

// The settings an armed run stands on. The scan history is not among them:
// the scanner writes "LastScan" after every scan, and that write must not
// arm the timer again.
struct ScheduleSettings {
  std::optional<std::u16string> when;
  std::optional<std::u16string> around;
  std::optional<std::uint32_t> random_delay_minutes;
  RunAs run_as = RunAs::kUser;
  friend bool operator==(const ScheduleSettings&, const ScheduleSettings&) = default;
};
ScheduleSettings ReadScheduleSettings(const application::SettingsSource& settings);

}  // namespace schedule
