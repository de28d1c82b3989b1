#include "scheduler/schedule/schedule.h"

#include <algorithm>
#include <optional>
#include <string>

#include "common/application/contract.h"
#include "scheduler/schedule/datetime/calendar.h"

namespace schedule {

using datetime::DateTime;
using datetime::DateTimeKind;
using datetime::TimeSpan;

constinit DateTime lastScanTime = DateTime::MaxValue();

namespace {

std::optional<std::u16string> ReadSetting(const application::SettingsSource& settings, std::u16string_view name,
                                          std::size_t buffer_bytes) {
  return settings.ReadText(application::RegistryRoot::LocalMachine, application::kSettingsKeyPath, name, buffer_bytes);
}

// A due time, and whether it catches up a missed run.
struct Due {
  DateTime when;
  bool catch_up = false;
};

// When today's (or this week's) run time has passed: a catch-up shortly after
// now if the last scan is more than one period old, else the next period.
Due PassedRun(DateTime now, DateTime candidate, TimeSpan period, double period_days) {
  if (lastScanTime < now - period) return {now.AddSeconds(10.0), true};
  return {candidate.AddDays(period_days), false};
}

Due DailyRun(TimeSpan time_of_day) {
  const DateTime now = DateTime::Now();
  const DateTime candidate = now.Date() + time_of_day;
  if (candidate > now.AddSeconds(3.0)) return {candidate, false};
  return PassedRun(now, candidate, TimeSpan::FromHours(24.0), 1.0);
}

Due WeeklyRun(int day_of_week, TimeSpan time_of_day) {
  const DateTime now = DateTime::Now();
  const DateTime today = now.Date();
  const int today_day_of_week = today.ToCalendar().value_or(datetime::CalendarFields{}).day_of_week;
  int days_ahead = 0;
  if (today_day_of_week - day_of_week > 0) {
    days_ahead = 7 - (today_day_of_week - day_of_week);
  } else if (today_day_of_week != day_of_week) {
    days_ahead = day_of_week - today_day_of_week;
  }
  const DateTime candidate = today.AddDays(days_ahead) + time_of_day;
  const DateTime now_again = DateTime::Now();
  if (candidate > now_again.AddSeconds(3.0)) return {candidate, false};
  return PassedRun(now, candidate, TimeSpan::FromDays(7.0), 7.0);
}

}  // namespace

DateTime ReadLastScanTime(const application::SettingsSource& settings) {
  const std::optional<std::u16string> text =
      ReadSetting(settings, application::kLastScanValue, application::kLastScanBytes);
  DateTime value = DateTime::MaxValue();
  if (text && ParseTimestamp(*text, value)) return value;
  return DateTime::MaxValue();
}

bool IsStartupSchedule(const application::SettingsSource& settings) {
  const std::optional<std::u16string> when =
      ReadSetting(settings, application::kSchedulerWhenValue, application::kSettingBytes);
  return when && SettingEquals(*when, u"startup");
}

DateTime NextDailyRun(TimeSpan time_of_day) { return DailyRun(time_of_day).when; }

DateTime NextWeeklyRun(int day_of_week, TimeSpan time_of_day) { return WeeklyRun(day_of_week, time_of_day).when; }

std::uint32_t RandomDelaySeconds(const application::SettingsSource& settings, RandomSource& random) {
  const std::uint32_t minutes =
      std::min(settings
                   .ReadNumber(application::RegistryRoot::LocalMachine, application::kSettingsKeyPath,
                               application::kSchedulerRandomDelayMinutesValue)
                   .value_or(0),
               kLongestWaitMinutes);
  return minutes == 0 ? 0 : random.Below(minutes * 60);
}

bool ArmScheduleTimer(const application::SettingsSource& settings, WaitableTimer& timer, RandomSource* random,
                      std::optional<ArmedRun>* armed) {
  if (armed != nullptr) armed->reset();
  const std::optional<std::u16string> when =
      ReadSetting(settings, application::kSchedulerWhenValue, application::kSettingBytes);
  if (!when) return false;
  const ScheduleCode code = ScheduleCodeFromWord(*when);
  if (code == ScheduleCode::kNone) return false;
  const std::optional<std::u16string> around =
      ReadSetting(settings, application::kSchedulerAroundValue, application::kSettingBytes);
  const TimeSpan time_of_day = around ? ParseTimeOfDay(*around) : TimeSpan();
  if (code == ScheduleCode::kStartup) return true;

  const Due next =
      code == ScheduleCode::kDaily ? DailyRun(time_of_day) : WeeklyRun(DayOfWeekFromScheduleCode(code), time_of_day);
  // A catch-up is not spread: it is late already.
  DateTime due = next.when;
  if (random != nullptr && !next.catch_up) due = due.AddSeconds(RandomDelaySeconds(settings, *random));
  // A due time outside the calendar (before 1601, or past 30827 after a huge
  // time of day) arms nothing, and neither does one that the zone offset
  // carries to 1601 or before: the timer reads a due time <= 0 as relative.
  if (!(due > DateTime(0, DateTimeKind::Local))) return false;
  if (due.ticks() > datetime::calendar::kLastTickOfMaxYear) return false;
  const DateTime due_utc = due.ToUniversalTime();
  if (due_utc.ticks() <= 0) return false;
  if (!timer.ArmAt(due_utc.ticks())) return false;
  if (armed != nullptr) *armed = ArmedRun{due, next.catch_up};
  return true;
}

RunAs ReadRunAs(const application::SettingsSource& settings) {
  const std::optional<std::u16string> run_as =
      ReadSetting(settings, application::kSchedulerRunAsValue, application::kSettingBytes);
  return run_as && SettingEquals(*run_as, application::kRunAsSystemWord) ? RunAs::kSystem : RunAs::kUser;
}

ScheduleSettings ReadScheduleSettings(const application::SettingsSource& settings) {
  ScheduleSettings read;
  read.when = ReadSetting(settings, application::kSchedulerWhenValue, application::kSettingBytes);
  read.around = ReadSetting(settings, application::kSchedulerAroundValue, application::kSettingBytes);
  read.random_delay_minutes =
      settings.ReadNumber(application::RegistryRoot::LocalMachine, application::kSettingsKeyPath,
                          application::kSchedulerRandomDelayMinutesValue);
  read.run_as = ReadRunAs(settings);
  return read;
}

}  // namespace schedule
