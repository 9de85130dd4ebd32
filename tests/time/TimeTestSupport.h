// Helpers shared by the calendar, timestamp and clock tests.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/TimeClass.h"
#include "support/CaptureSink.h"

namespace veltraw {

// Failures show "2006-3-5 9:07:09 0x80000000" instead of the object's bytes.
inline void PrintTo(const TimeClass& t, std::ostream* out) {
  *out << t.year() << "-" << int{t.month()} << "-" << int{t.day()} << " " << int{t.hour()} << ":"
       << int{t.minute()} << ":" << int{t.second()} << " 0x" << std::hex << t.fraction << std::dec;
}

namespace test {

inline TimeClass makeTime(uint16_t year, uint8_t month, uint8_t day, uint8_t hour = 0,
                          uint8_t minute = 0, uint8_t second = 0, uint32_t fraction = 0) {
  TimeClass time;
  time.setYear(year);
  time.setMonth(month);
  time.setDay(day);
  time.setTimeOfDay(hour, minute, second);
  time.fraction = fraction;
  return time;
}

// Nanoseconds since 1900 (the fraction truncated), for comparing readings.
inline int64_t nsSince1900(const TimeClass& t) {
  const int64_t seconds = int64_t{t.dayNumber()} * 86400 + t.secondsInDay();
  return seconds * 1000000000 + static_cast<int64_t>((uint64_t{t.fraction} * 1000000000) >> 32);
}

// The text of one log entry holding only value, after the thread label.
template <typename T>
std::string logText(const T& value) {
  CaptureSink sink;
  ErrorLog::instance().begin(Warning) << value << End;
  return sink.lines.empty() ? "?" : sink.messages()[0];
}

}  // namespace test
}  // namespace veltraw
