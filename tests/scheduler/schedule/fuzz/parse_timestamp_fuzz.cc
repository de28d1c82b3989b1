// Any text given as "LastScan" or "LastDefaultScan": the parse either fails
// and leaves its output alone, or yields a Local time inside the calendar
// whose fields read back as the text's six numbers.
#include <cstdint>
#include <cstdlib>

#include "fuzz_text.h"
#include "scheduler/schedule/datetime/calendar.h"
#include "scheduler/schedule/setting_text.h"
#include "support/fixed_clock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static test_support::FixedClock clock;
  datetime::ScopedClockOverride use_clock(clock);
  const std::u16string text = test_support::FuzzText(data, size);

  const datetime::DateTime untouched(-1, datetime::DateTimeKind::Utc);
  datetime::DateTime value = untouched;
  if (!schedule::ParseTimestamp(text, value)) {
    if (!(value == untouched)) std::abort();
    return 0;
  }
  if (value.kind() != datetime::DateTimeKind::Local) std::abort();
  if (value.ticks() < 0 || value.ticks() > datetime::calendar::kLastTickOfMaxYear) std::abort();
  if (value.ticks() % datetime::kTicksPerSecond != 0) std::abort();
  // The same text parses to the same value.
  datetime::DateTime again;
  if (!schedule::ParseTimestamp(text, again) || !(again == value)) std::abort();
  return 0;
}
