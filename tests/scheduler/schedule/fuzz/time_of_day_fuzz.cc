// Any text given as "SchedulerAround", under every schedule word, on a clock
// chosen by the input: reading it and arming the timer never meet undefined
// behaviour, and a due time that is armed lies inside the calendar.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/application/contract.h"
#include "fuzz_text.h"
#include "scheduler/schedule/datetime/calendar.h"
#include "scheduler/schedule/schedule.h"
#include "scheduler/schedule/setting_text.h"
#include "support/fixed_clock.h"
#include "support/in_memory_settings.h"

namespace {

class CheckingTimer final : public schedule::WaitableTimer {
 public:
  bool ArmAt(std::int64_t utc_ticks) override {
    // Inside the calendar, give or take the largest zone offset.
    if (utc_ticks <= 0 || utc_ticks > datetime::calendar::kLastTickOfMaxYear + 14 * datetime::kTicksPerHour) {
      std::abort();
    }
    return true;
  }
};

constexpr std::u16string_view kWords[] = {u"daily", u"mon", u"tue", u"wed", u"thu", u"fri", u"sat", u"sun", u"startup"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  // Byte 0: schedule word and whether the last scan is long ago; byte 1: zone
  // offset; byte 2: year of the clock (low, middle or high end); byte 3: hour.
  static test_support::FixedClock clock;
  datetime::ScopedClockOverride use_clock(clock);
  const int years[] = {1601, 2016, 9999, 30827};
  clock.SetLocalNow(years[data[2] % 4], 1 + data[2] / 4 % 12, 1 + data[3] / 24 % 28, data[3] % 24);
  clock.SetUtcOffsetMinutes((static_cast<int>(data[1]) - 128) * 7);  // within +-14.9 h
  schedule::lastScanTime =
      (data[0] & 0x80) ? datetime::DateTime(0, datetime::DateTimeKind::Local) : datetime::DateTime::MaxValue();

  const std::u16string around = test_support::FuzzText(data + 4, size - 4);
  (void)schedule::ParseTimeOfDay(around);

  test_support::InMemorySettings settings;
  settings.Set(application::RegistryRoot::LocalMachine, application::kSettingsKeyPath, application::kSchedulerWhenValue,
               kWords[(data[0] & 0x7F) % 9]);
  settings.SetRaw(application::RegistryRoot::LocalMachine, application::kSettingsKeyPath,
                  application::kSchedulerAroundValue, around);
  CheckingTimer timer;
  (void)schedule::ArmScheduleTimer(settings, timer);
  schedule::lastScanTime = datetime::DateTime::MaxValue();
  return 0;
}
