#include "scheduler/schedule/setting_text.h"

#include <array>
#include <limits>

#include "common/text/ascii_case.h"

namespace schedule {
namespace {

constexpr std::u16string_view kTimestampSeparators = u"- :T";

std::u16string_view UpToTerminator(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

}  // namespace

bool SettingEquals(std::u16string_view text, std::u16string_view word) {
  return text::EqualsIgnoringAsciiCase(text, word);
}

DecimalReading ReadDecimal(std::u16string_view text) {
  text = UpToTerminator(text);
  std::size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
    negative = text[pos] == u'-';
    ++pos;
  }
  // The magnitude is kept no larger than one past the int32 limit, so that
  // any number of digits can follow without overflow.
  constexpr std::int64_t kCap = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2;
  std::int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9'; ++pos) {
    magnitude = magnitude * 10 + (text[pos] - u'0');
    if (magnitude > kCap) magnitude = kCap;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  DecimalReading reading;
  if (value > std::numeric_limits<std::int32_t>::max()) {
    reading.value = std::numeric_limits<std::int32_t>::max();
    reading.in_range = false;
  } else if (value < std::numeric_limits<std::int32_t>::min()) {
    reading.value = std::numeric_limits<std::int32_t>::min();
    reading.in_range = false;
  } else {
    reading.value = static_cast<std::int32_t>(value);
  }
  return reading;
}

bool ParseTimestamp(std::u16string_view text, datetime::DateTime& out) {
  text = UpToTerminator(text);
  std::array<std::int32_t, 6> fields{};
  std::size_t count = 0;
  std::size_t pos = 0;
  for (;;) {
    const DecimalReading reading = ReadDecimal(text.substr(pos));
    if (!reading.in_range || count == fields.size()) return false;
    fields[count++] = reading.value;
    // The next separator is searched from the start of the field just read,
    // so a minus sign always separates.
    const std::size_t separator = text.find_first_of(kTimestampSeparators, pos);
    if (separator == std::u16string_view::npos) break;
    pos = separator + 1;
  }
  if (count != fields.size()) return false;
  const auto low16 = [](std::int32_t field) { return static_cast<std::uint16_t>(field); };
  const std::optional<datetime::DateTime> value = datetime::DateTime::FromCalendar(
      low16(fields[0]), low16(fields[1]), low16(fields[2]), low16(fields[3]), low16(fields[4]), low16(fields[5]));
  if (!value) return false;
  out = *value;
  return true;
}

datetime::TimeSpan ParseTimeOfDay(std::u16string_view text) {
  text = UpToTerminator(text);
  std::int32_t minutes = 0;
  const std::size_t colon = text.find(u':');
  if (colon != std::u16string_view::npos) {
    minutes = ReadDecimal(text.substr(colon + 1)).value;
    text = text.substr(0, colon);
  }
  const std::int32_t hours = ReadDecimal(text).value;
  datetime::TimeSpan time_of_day = datetime::TimeSpan::FromHours(hours);
  if (minutes > 0) time_of_day = time_of_day + datetime::TimeSpan::FromMinutes(minutes);
  return time_of_day;
}

ScheduleCode ScheduleCodeFromWord(std::u16string_view word) {
  word = UpToTerminator(word);
  for (const ScheduleWord& row : kScheduleWords) {
    if (SettingEquals(word, row.word)) return row.code;
  }
  return ScheduleCode::kNone;
}

int DayOfWeekFromScheduleCode(ScheduleCode code) {
  const int value = static_cast<int>(code);
  if (value < 1 || value > 7) return -1;
  return value % 7;  // Sunday, code 7, is day 0
}

}  // namespace schedule
