// UTC calendar date and time of day. The sub-second part is the NTP binary
// fraction (units of 2^-32 s), so conversions to and from NtpTimestamp are
// exact. Day numbers count days since 1900-01-01 (day 0, a Monday), in the
// proleptic Gregorian calendar.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace veltraw {

class ErrorLog;

// A calendar field given a value outside its range. what() is
// "TimeError: <field> out of range: <value>"; the runtime_error part itself
// says only "TimeError". Making and copying one allocates nothing.
class TimeError : public std::runtime_error {
 public:
  TimeError(const char* field, uint32_t value);
  TimeError(const TimeError& other) noexcept;
  TimeError& operator=(const TimeError& other) noexcept;
  const char* what() const noexcept override { return m_text; }

 private:
  char m_text[128];
};

bool isLeapYear(uint16_t year);
// Throws TimeError "month" for a month outside 1..12.
int32_t daysInMonth(uint16_t year, int32_t month);
// Days from 1900-01-01 to 1 January of year (negative before 1900).
int32_t daysBeforeYear(uint16_t year);
// 1-based day of the year; day 0 gives the days before the month. A month
// outside 1..12 is a broken internal rule (assertion).
int32_t dayOfYear(uint16_t year, int32_t month, int32_t day);

class TimeClass {
 public:
  // Day number of 65535-12-31, the last representable date.
  static constexpr uint32_t kLastDayNumber = 23242570;

  TimeClass() = default;

  uint16_t year() const { return m_year; }
  uint8_t month() const { return m_month; }
  uint8_t day() const { return m_day; }
  uint8_t hour() const { return m_hour; }
  uint8_t minute() const { return m_minute; }
  uint8_t second() const { return m_second; }

  // Each setter throws TimeError and keeps the previous value when the value
  // is out of range. setYear and setMonth do not look at the day, so a date
  // can be set field by field through a transiently invalid day.
  void setYear(uint16_t year);                // >= 1900
  void setMonth(uint8_t month);               // 1..12
  void setDay(uint8_t day);                   // 1..length of the current month
  void setHour(uint8_t hour);                 // 0..24 (24 only from callers; never produced here)
  void setMinute(uint8_t minute);             // 0..59
  void setSecond(uint8_t second);             // 0..59
  void setMicrosecond(uint32_t microsecond);  // 0..999999; replaces fraction
  void setSecondsInDay(uint32_t seconds);     // 0..86399
  void setTimeOfDay(uint8_t hour, uint8_t minute, uint8_t second);  // all or nothing
  // Sets year, month and day; throws TimeError "year" beyond kLastDayNumber.
  void setDayNumber(uint32_t dayNumber);

  // Rounded to the nearest unit, halves up: 1000000 (1000) for a fraction
  // within half a microsecond (millisecond) of the next second.
  uint32_t microsecond() const;
  uint32_t millisecond() const;
  uint32_t secondsInDay() const;  // above 86399 only at hour 24
  uint32_t dayNumber() const;
  int32_t dayOfYear() const;
  int32_t weekday() const;  // 0 Sunday .. 6 Saturday
  int32_t isoWeek() const;  // ISO 8601 week number
  bool isPM() const { return m_hour >= 12; }
  int32_t julianDayNumberOffset() const;  // Julian Day Number minus 2400000
  double julianDate() const;

  // Moves the time; the fraction ends on a whole microsecond. Throws
  // TimeError "year" (and leaves the time as it was) when the result would
  // fall outside 1900-01-01 .. 65535-12-31.
  void addMilliseconds(uint32_t milliseconds);
  void subtractMilliseconds(uint32_t milliseconds);
  void addMicroseconds(uint64_t microseconds);
  void subtractMicroseconds(uint64_t microseconds);

  // Field by field, year first; each as unsigned.
  bool operator<(const TimeClass& other) const;
  bool operator==(const TimeClass& other) const;
  bool operator!=(const TimeClass& other) const { return !(*this == other); }

 private:
  void moveBy(int64_t seconds, uint32_t microsecond);

  uint16_t m_year = 1900;
  uint8_t m_month = 1;
  uint8_t m_day = 1;
  uint8_t m_hour = 0;
  uint8_t m_minute = 0;
  uint8_t m_second = 0;

 public:
  // Part of the second in units of 2^-32 s; read and written directly by the
  // clock and the NTP conversions.
  uint32_t fraction = 0;
};

// "2006-3-5 9:07:09.250000": year, month, day and hour through the signed
// integer append, minute and second as two digits, the fraction as six
// rounded decimal digits.
ErrorLog& operator<<(ErrorLog& log, const TimeClass& time);

}  // namespace veltraw
