#include "LIB/String/FormatString.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <locale>
#include <sstream>

#include "LIB/Log/Failure.h"
#include "LIB/Time/NtpTimestamp.h"

namespace veltraw {

namespace {

// Where the broken rules are reported from, as the log has always named them.
constexpr const char* kSourceName = "LIB/String/FormatString";
constexpr int32_t kSetUtcTimeLine = 51;
constexpr int32_t kFieldLine = 64;

// Months, weekdays, then the zone names indexed by whole offset hours mod 24.
constexpr const char* kNames[86] = {
    "January", "February", "March", "April", "May", "June", "July", "August", "September",
    "October", "November", "December", "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug",
    "Sep", "Oct", "Nov", "Dec", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
    "Saturday", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat",
    // standard time
    "GMT", "CET", "EET", "+3 ", "+4 ", "+5 ", "+6 ", "+7 ", "CCT", "JST", "GST", "+11", "NZS",
    "-11", "HST", "YST", "PST", "MST", "CST", "EST", "AST", "-3", "AZ", "WAT",
    // daylight saving time
    "BST", "CEST", "EEST", "+4 ", "+5 ", "+6 ", "+7 ", "+8 ", "+9 ", "+10", "+11", "+12", "-11",
    "-10", "HDT", "YDT", "PDT", "MDT", "CDT", "EDT", "ADT", "-2", "-1", "+0 "};
constexpr int kFullMonths = 0;
constexpr int kShortMonths = 12;
constexpr int kFullWeekdays = 24;
constexpr int kShortWeekdays = 31;
constexpr int kStandardZones = 38;
constexpr int kDaylightZones = 62;

constexpr char kTimeLetters[] = "YMDJWHhmsSaA";

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool isTimeLetter(char c) { return isAsciiLetter(c) && std::strchr(kTimeLetters, c) != nullptr; }

bool zoneInRange(int64_t minutes) {
  return minutes >= -FormatString::kMaxZoneMinutes && minutes <= FormatString::kMaxZoneMinutes;
}

// minutes may be the negation of any int32, hence 64 bits.
TimeClass shiftedByMinutes(const TimeClass& time, int64_t minutes) {
  if (!zoneInRange(minutes)) return time;
  TimeClass shifted = time;
  const auto milliseconds = static_cast<uint32_t>((minutes < 0 ? -minutes : minutes) * 60000);
  try {
    if (minutes >= 0) {
      shifted.addMilliseconds(milliseconds);
    } else {
      shifted.subtractMilliseconds(milliseconds);
    }
  } catch (const TimeError&) {
    return time;  // the calendar ends within a day of here
  }
  return shifted;
}

// One switch label per letter and run length; runs longer than any field's
// share one key that matches no label.
constexpr int fieldKey(char letter, size_t run) {
  return letter * 8 + static_cast<int>(run < 7 ? run : 7);
}

void number(std::ostream& out, uint32_t value, int width = 0) { out << std::setw(width) << value; }

}  // namespace

void FormatString::setZone(int32_t offsetMinutes, bool daylight) {
  m_zoneMinutes = offsetMinutes;
  m_daylight = daylight;
  m_valid |= Field_Zone;
}

void FormatString::setUtcTime(const TimeClass& time) {
  if (!isValid(Field_Zone)) assertionFailed("IsValid(Field_Zone)", kSourceName, kSetUtcTimeLine);
  m_time = shiftedByMinutes(time, m_zoneMinutes);
  m_valid |= Field_Time;
}

TimeClass FormatString::localToUtc(const TimeClass& local) const {
  return shiftedByMinutes(local, -int64_t{m_zoneMinutes});
}

void FormatString::requireZone() const {
  if (!isValid(Field_Zone)) assertionFailed("IsValid(Field_Zone)", kSourceName, kFieldLine);
}

std::string FormatString::format(const std::string& pattern) const {
  std::ostringstream out;
  out.imbue(std::locale::classic());  // no digit grouping, whatever the process's locale
  out.fill('0');
  TimeClass shown = m_time;
  bool inField = false;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\\') {
      if (i + 1 == pattern.size()) break;  // a lone backslash at the end takes nothing
      const char escaped = pattern[i + 1];
      out.put(escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped);
      i += 2;
    } else if (!inField) {
      if (c == '[') {
        inField = true;
      } else {
        out.put(c);
      }
      ++i;
    } else if (c == ']') {
      inField = false;
      ++i;
    } else if (!isAsciiLetter(c)) {
      out.put(c);
      ++i;
    } else {
      size_t run = 1;
      while (i + run < pattern.size() && pattern[i + run] == c) ++run;
      if (!writeField(out, c, run, shown)) {
        for (size_t k = 0; k < run; ++k) out.put(c);
      }
      i += run;
    }
  }
  return out.str();
}

bool FormatString::writeField(std::ostream& out, char letter, size_t run, TimeClass& shown) const {
  if (isTimeLetter(letter) && !isValid(Field_Time)) return false;
  // The sub-second fields round, but never up to a whole second: the seconds
  // beside them cannot carry, so a time just before the next second shows
  // the largest value instead of an extra digit.
  const uint32_t millisecond = std::min(shown.millisecond(), 999u);
  const uint32_t microsecond = std::min(shown.microsecond(), 999999u);
  const uint32_t hour12 = shown.hour() % 12 == 0 ? 12 : shown.hour() % 12;
  switch (fieldKey(letter, run)) {
    case fieldKey('Y', 2):
      number(out, shown.year() % 100, 2);
      break;
    case fieldKey('Y', 4):
      number(out, shown.year(), 4);
      break;
    case fieldKey('M', 1):
      number(out, shown.month());
      break;
    case fieldKey('M', 2):
      number(out, shown.month(), 2);
      break;
    case fieldKey('M', 3):
      out << kNames[kShortMonths + shown.month() - 1];
      break;
    case fieldKey('M', 4):
      out << kNames[kFullMonths + shown.month() - 1];
      break;
    case fieldKey('D', 1):
      number(out, shown.day());
      break;
    case fieldKey('D', 2):
      number(out, shown.day(), 2);
      break;
    case fieldKey('D', 3):
      out << kNames[kShortWeekdays + shown.weekday()];
      break;
    case fieldKey('D', 4):
      out << kNames[kFullWeekdays + shown.weekday()];
      break;
    case fieldKey('H', 1):
      number(out, shown.hour());
      break;
    case fieldKey('H', 2):
      number(out, shown.hour(), 2);
      break;
    case fieldKey('h', 1):
      number(out, hour12);
      break;
    case fieldKey('h', 2):
      number(out, hour12, 2);
      break;
    case fieldKey('m', 1):
      number(out, shown.minute());
      break;
    case fieldKey('m', 2):
      number(out, shown.minute(), 2);
      break;
    case fieldKey('s', 1):
      number(out, shown.second());
      break;
    case fieldKey('s', 2):
      number(out, shown.second(), 2);
      break;
    case fieldKey('S', 1):
      number(out, millisecond / 100, 1);
      break;
    case fieldKey('S', 2):
      number(out, millisecond / 10, 2);
      break;
    case fieldKey('S', 3):
      number(out, millisecond, 3);
      break;
    case fieldKey('S', 4):
      number(out, microsecond / 100, 4);
      break;
    case fieldKey('a', 1):
      out << (shown.isPM() ? "p" : "a");
      break;
    case fieldKey('a', 2):
      out << (shown.isPM() ? "pm" : "am");
      break;
    case fieldKey('A', 1):
      out << (shown.isPM() ? "P" : "A");
      break;
    case fieldKey('A', 2):
      out << (shown.isPM() ? "PM" : "AM");
      break;
    case fieldKey('W', 1):
      number(out, static_cast<uint32_t>(shown.dayOfYear()));
      break;
    case fieldKey('W', 2):
      number(out, static_cast<uint32_t>(shown.isoWeek()), 2);
      break;
    case fieldKey('J', 1):
    case fieldKey('J', 2): {
      requireZone();
      const NtpTimestamp utc = NtpTimestamp::FromCalendar(localToUtc(m_time));
      out << std::hex;  // and so for the rest of the pattern
      number(out, run == 1 ? utc.fraction() : utc.seconds(), 8);
      break;
    }
    case fieldKey('J', 3):
      number(out, static_cast<uint32_t>(shown.julianDayNumberOffset()));
      break;
    case fieldKey('J', 4):
      out << shown.julianDate();
      break;
    case fieldKey('Z', 1):
      shown = m_time;
      break;
    case fieldKey('Z', 2):
      requireZone();
      shown = localToUtc(m_time);
      break;
    case fieldKey('Z', 3):
      if (!isValid(Field_Zone)) return false;
      if (!zoneInRange(m_zoneMinutes)) {
        out << "???";
      } else {
        const int32_t zone = (m_zoneMinutes / 60 + 24) % 24;
        out << std::setw(3) << kNames[(m_daylight ? kDaylightZones : kStandardZones) + zone];
      }
      break;
    case fieldKey('Z', 4):
      if (!isValid(Field_Zone)) return false;
      writeZoneOffset(out);
      break;
    default:
      return false;
  }
  return true;
}

// "+hhmm", the sign that of the offset itself, so that an offset west of UTC
// by less than an hour, or by hours and minutes, still reads as one
// ("-0030", "-0530").
void FormatString::writeZoneOffset(std::ostream& out) const {
  if (!zoneInRange(m_zoneMinutes)) {
    out << "+????";
    return;
  }
  const uint32_t magnitude =
      static_cast<uint32_t>(m_zoneMinutes < 0 ? -m_zoneMinutes : m_zoneMinutes);
  out.put(m_zoneMinutes < 0 ? '-' : '+');
  number(out, magnitude / 60, 2);
  number(out, magnitude % 60, 2);
  // Padding between sign and digits stays in force for the rest of the pattern.
  out << std::internal;
}

}  // namespace veltraw
