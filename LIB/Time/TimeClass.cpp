#include "LIB/Time/TimeClass.h"

#include <cstdio>
#include <cstring>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/Failure.h"
#include "LIB/Time/NtpTimestamp.h"

namespace veltraw {

namespace {

constexpr uint32_t kSecondsPerDay = 86400;
constexpr uint32_t kMicrosecondsPerSecond = 1000000;

// 1 plus the days before each month (1..13) in a common year.
constexpr uint16_t kCumulativeDays[14] = {0,   1,   32,  60,  91,  121, 152,
                                          182, 213, 244, 274, 305, 335, 366};
constexpr uint8_t kMonthLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// One shared base object: copying it only counts a reference, so a TimeError
// can be made on any path without touching the heap.
const std::runtime_error& timeErrorBase() {
  static const std::runtime_error base("TimeError");
  return base;
}

bool isLeap(uint32_t year) { return year % 100 != 0 ? year % 4 == 0 : year % 400 == 0; }

int32_t yearLength(uint32_t year) { return isLeap(year) ? 366 : 365; }

// daysBeforeYear for years past the 16-bit range too (day number search).
int32_t daysBefore(uint32_t year) {
  const int32_t y = static_cast<int32_t>(year);
  return y * 365 + y / 4 - y / 100 + y / 400 - 693960 - (isLeap(year) ? 1 : 0);
}

// The year a day number falls in, for any 64-bit day number, even outside the
// range of the type: only error texts need it.
int64_t yearOfDay(int64_t dayNumber) {
  // Days since 0000-03-01, so that the leap day ends each 400-year cycle.
  const int64_t z = dayNumber + 693901;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfMarchYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t marchMonth = (5 * dayOfMarchYear + 2) / 153;  // 0 = March
  return era * 400 + yearOfEra + (marchMonth >= 10 ? 1 : 0);
}

}  // namespace

TimeError::TimeError(const char* field, uint32_t value) : std::runtime_error(timeErrorBase()) {
  std::snprintf(m_text, sizeof m_text, "TimeError: %s out of range: %lu", field,
                static_cast<unsigned long>(value));
}

TimeError::TimeError(const TimeError& other) noexcept : std::runtime_error(other) {
  std::memcpy(m_text, other.m_text, sizeof m_text);
}

TimeError& TimeError::operator=(const TimeError& other) noexcept {
  std::runtime_error::operator=(other);
  std::memmove(m_text, other.m_text, sizeof m_text);
  return *this;
}

bool isLeapYear(uint16_t year) { return isLeap(year); }

int32_t daysInMonth(uint16_t year, int32_t month) {
  if (month < 1 || month > 12) throw TimeError("month", static_cast<uint32_t>(month));
  if (month == 2 && isLeap(year)) return 29;
  return kMonthLength[month - 1];
}

int32_t daysBeforeYear(uint16_t year) { return daysBefore(year); }

int32_t dayOfYear(uint16_t year, int32_t month, int32_t day) {
  if (month < 1 || month > 12) assertionFailed("m>=1 && m<=12", "LIB/Time/TimeClass", 222);
  return kCumulativeDays[month] + day - 1 + (month >= 3 && isLeap(year) ? 1 : 0);
}

void TimeClass::setYear(uint16_t year) {
  if (year < 1900) throw TimeError("year", year);
  m_year = year;
}

void TimeClass::setMonth(uint8_t month) {
  if (month < 1 || month > 12) throw TimeError("month", month);
  m_month = month;
}

void TimeClass::setDay(uint8_t day) {
  if (day < 1 || day > daysInMonth(m_year, m_month)) throw TimeError("day", day);
  m_day = day;
}

void TimeClass::setHour(uint8_t hour) {
  if (hour > 24) throw TimeError("hour", hour);
  m_hour = hour;
}

void TimeClass::setMinute(uint8_t minute) {
  if (minute > 59) throw TimeError("minute", minute);
  m_minute = minute;
}

void TimeClass::setSecond(uint8_t second) {
  if (second > 59) throw TimeError("second", second);
  m_second = second;
}

void TimeClass::setMicrosecond(uint32_t microsecond) {
  if (microsecond >= kMicrosecondsPerSecond) throw TimeError("microsecond", microsecond);
  fraction = static_cast<uint32_t>((uint64_t{microsecond} << 32) / kMicrosecondsPerSecond);
}

void TimeClass::setSecondsInDay(uint32_t seconds) {
  if (seconds >= kSecondsPerDay) throw TimeError("secondsInDay", seconds);
  m_hour = static_cast<uint8_t>(seconds / 3600);
  m_minute = static_cast<uint8_t>(seconds / 60 % 60);
  m_second = static_cast<uint8_t>(seconds % 60);
}

void TimeClass::setTimeOfDay(uint8_t hour, uint8_t minute, uint8_t second) {
  // Checked before anything is stored, so that a bad minute does not leave a
  // new hour behind.
  TimeClass checked(*this);
  checked.setHour(hour);
  checked.setMinute(minute);
  checked.setSecond(second);
  *this = checked;
}

void TimeClass::setDayNumber(uint32_t dayNumber) {
  if (dayNumber > kLastDayNumber) {
    throw TimeError("year", static_cast<uint32_t>(yearOfDay(dayNumber)));
  }
  // The mean Gregorian year puts the estimate within one year of the truth
  // over the whole range, so one step either way corrects it.
  uint32_t year = 1900 + static_cast<uint32_t>(uint64_t{dayNumber} * 400 / 146097);
  int32_t rest = static_cast<int32_t>(dayNumber) - daysBefore(year);
  if (rest < 0) {
    --year;
    rest += yearLength(year);
  } else if (rest >= yearLength(year)) {
    rest -= yearLength(year);
    ++year;
  }
  const auto y = static_cast<uint16_t>(year);
  int32_t month = rest / 31 + 1;
  if (month != 12 && rest >= veltraw::dayOfYear(y, month + 1, 0)) ++month;
  m_year = y;
  m_month = static_cast<uint8_t>(month);
  m_day = static_cast<uint8_t>(rest - veltraw::dayOfYear(y, month, 0) + 1);
}

uint32_t TimeClass::microsecond() const {
  return static_cast<uint32_t>((uint64_t{fraction} * kMicrosecondsPerSecond + (1u << 31)) >> 32);
}

uint32_t TimeClass::millisecond() const {
  return static_cast<uint32_t>((uint64_t{fraction} * 1000 + (1u << 31)) >> 32);
}

uint32_t TimeClass::secondsInDay() const {
  return (uint32_t{m_hour} * 60 + m_minute) * 60 + m_second;
}

uint32_t TimeClass::dayNumber() const {
  return static_cast<uint32_t>(daysBefore(m_year) + veltraw::dayOfYear(m_year, m_month, m_day) - 1);
}

int32_t TimeClass::dayOfYear() const { return veltraw::dayOfYear(m_year, m_month, m_day); }

int32_t TimeClass::weekday() const { return static_cast<int32_t>((dayNumber() + 1) % 7); }

int32_t TimeClass::isoWeek() const {
  const uint32_t j = static_cast<uint32_t>(julianDayNumberOffset()) + 2400000;
  const uint32_t d4 = (((j + 31741 - j % 7) % 146097) % 36524) % 1461;
  const uint32_t l = d4 / 1460;
  const uint32_t d1 = ((d4 - l) % 365) + l;
  return static_cast<int32_t>(d1 / 7 + 1);
}

int32_t TimeClass::julianDayNumberOffset() const {
  const int32_t month = m_month;
  const int32_t a = (14 - month) / 12;
  const int32_t y = m_year - a + 4800;
  const int32_t monthTerm = (153 * (month + 12 * a - 3) + 2) / 5;
  return m_day + monthTerm + 365 * y + y / 4 - y / 100 + y / 400 - 2432045;
}

double TimeClass::julianDate() const {
  return static_cast<double>(julianDayNumberOffset()) + 2400000.5 - 1.0 +
         secondsInDay() * 1.1574074074074073e-05 + fraction * 2.6947991163642317e-15;
}

void TimeClass::addMilliseconds(uint32_t milliseconds) {
  addMicroseconds(uint64_t{milliseconds} * 1000);
}

void TimeClass::subtractMilliseconds(uint32_t milliseconds) {
  subtractMicroseconds(uint64_t{milliseconds} * 1000);
}

void TimeClass::addMicroseconds(uint64_t microseconds) {
  int64_t seconds = static_cast<int64_t>(microseconds / kMicrosecondsPerSecond);
  // microsecond() may be 1000000 itself: the same carry as any other overflow.
  uint32_t micro = static_cast<uint32_t>(microseconds % kMicrosecondsPerSecond) + microsecond();
  if (micro >= kMicrosecondsPerSecond) {
    micro -= kMicrosecondsPerSecond;
    ++seconds;
  }
  moveBy(seconds, micro);
}

void TimeClass::subtractMicroseconds(uint64_t microseconds) {
  int64_t seconds = -static_cast<int64_t>(microseconds / kMicrosecondsPerSecond);
  int64_t micro = static_cast<int64_t>(microsecond()) -
                  static_cast<int64_t>(microseconds % kMicrosecondsPerSecond);
  if (micro < 0) {
    micro += kMicrosecondsPerSecond;
    --seconds;
  } else if (micro >= kMicrosecondsPerSecond) {  // microsecond() rounded up to a whole second
    micro -= kMicrosecondsPerSecond;
    ++seconds;
  }
  moveBy(seconds, static_cast<uint32_t>(micro));
}

void TimeClass::moveBy(int64_t seconds, uint32_t microsecond) {
  // Floor division carries any number of whole days either way, which also
  // brings a time at hour 24 back into its day.
  const int64_t total = static_cast<int64_t>(secondsInDay()) + seconds;
  int64_t days = total / kSecondsPerDay;
  int64_t inDay = total % kSecondsPerDay;
  if (inDay < 0) {
    inDay += kSecondsPerDay;
    --days;
  }
  const int64_t target = static_cast<int64_t>(dayNumber()) + days;
  if (target < 0 || target > kLastDayNumber) {
    throw TimeError("year", static_cast<uint32_t>(yearOfDay(target)));
  }
  // Nothing below can fail, so the time changes whole or not at all.
  setDayNumber(static_cast<uint32_t>(target));
  setSecondsInDay(static_cast<uint32_t>(inDay));
  setMicrosecond(microsecond);
}

bool TimeClass::operator<(const TimeClass& other) const {
  if (m_year != other.m_year) return m_year < other.m_year;
  if (m_month != other.m_month) return m_month < other.m_month;
  if (m_day != other.m_day) return m_day < other.m_day;
  if (m_hour != other.m_hour) return m_hour < other.m_hour;
  if (m_minute != other.m_minute) return m_minute < other.m_minute;
  if (m_second != other.m_second) return m_second < other.m_second;
  return fraction < other.fraction;
}

bool TimeClass::operator==(const TimeClass& other) const {
  return m_year == other.m_year && m_month == other.m_month && m_day == other.m_day &&
         m_hour == other.m_hour && m_minute == other.m_minute && m_second == other.m_second &&
         fraction == other.fraction;
}

NtpTimestamp NtpTimestamp::FromCalendar(const TimeClass& time) {
  // 32-bit arithmetic on purpose: from 2036-02-07 06:28:16 the seconds wrap
  // into the second NTP era by themselves.
  const uint32_t seconds = time.dayNumber() * kSecondsPerDay + uint32_t{time.hour()} * 3600 +
                           uint32_t{time.minute()} * 60 + time.second();
  return Make(seconds, time.fraction);
}

TimeClass NtpTimestamp::ToCalendar() const {
  // Era rule for the 2036 wrap: bit 31 clear means the second era.
  uint64_t s = seconds();
  if ((s & 0x80000000u) == 0) s += uint64_t{1} << 32;
  TimeClass time;
  time.setDayNumber(static_cast<uint32_t>(s / kSecondsPerDay));
  time.setSecondsInDay(static_cast<uint32_t>(s % kSecondsPerDay));
  time.fraction = fraction();
  return time;
}

namespace {

// "." and six decimal digits of a binary fraction, the last one rounded. A
// carry that would run through all six digits would need the seconds to
// change, which this text cannot do: the digits then stay 999999.
void fractionText(uint32_t fraction, char (&text)[8]) {
  text[0] = '.';
  uint32_t rest = fraction;
  for (int i = 1; i <= 6; ++i) {
    const uint64_t product = uint64_t{rest} * 10;
    text[i] = static_cast<char>('0' + (product >> 32));
    rest = static_cast<uint32_t>(product);
  }
  text[7] = '\0';
  if (rest < (1u << 31) || std::strcmp(text, ".999999") == 0) return;
  for (int i = 6; i >= 1; --i) {
    if (text[i] != '9') {
      ++text[i];
      break;
    }
    text[i] = '0';
  }
}

}  // namespace

ErrorLog& operator<<(ErrorLog& log, const TimeClass& time) {
  char fraction[8];
  fractionText(time.fraction, fraction);
  return log << static_cast<int32_t>(time.year()) << "-" << static_cast<int32_t>(time.month())
             << "-" << static_cast<int32_t>(time.day()) << " " << static_cast<int32_t>(time.hour())
             << ":" << static_cast<char>('0' + time.minute() / 10)
             << static_cast<char>('0' + time.minute() % 10) << ":"
             << static_cast<char>('0' + time.second() / 10)
             << static_cast<char>('0' + time.second() % 10) << fraction;
}

}  // namespace veltraw
