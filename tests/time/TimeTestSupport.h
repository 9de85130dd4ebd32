// Helpers shared by the calendar and timestamp tests.
#pragma once

#include <cstdint>
#include <string>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/TimeClass.h"
#include "support/CaptureSink.h"

namespace veltraw::test {

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

// "2006-3-5 9:07:09 0x80000000", for readable failures.
inline std::string describe(const TimeClass& t) {
  return std::to_string(t.year()) + "-" + std::to_string(t.month()) + "-" +
         std::to_string(t.day()) + " " + std::to_string(t.hour()) + ":" +
         std::to_string(t.minute()) + ":" + std::to_string(t.second()) + " " +
         std::to_string(t.fraction);
}

// The pieces of one log entry holding only the given value, without the
// thread label and the line end.
template <typename T>
std::string logText(const T& value) {
  CaptureSink sink;
  ErrorLog::instance().begin(Warning) << value << End;
  if (sink.lines.size() != 1) return "?" + sink.all();
  const std::string& line = sink.lines[0];
  const size_t start = line.find(">: ");
  return start == std::string::npos ? "?" + line : line.substr(start + 3);
}

// Small deterministic generator for property tests.
class Random {
 public:
  explicit Random(uint64_t seed) : m_state(seed) {}
  uint64_t next() {
    m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
    uint64_t x = m_state;
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    return x ^ (x >> 33);
  }
  uint32_t below(uint32_t bound) { return static_cast<uint32_t>(next() % bound); }

 private:
  uint64_t m_state;
};

}  // namespace veltraw::test
