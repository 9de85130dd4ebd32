// An NTP time: seconds since 1900-01-01 00:00:00 UTC in the upper 32 bits, a
// binary fraction of a second (units of 2^-32 s) in the lower 32. Differences
// of two timestamps use the same type and read as signed 64-bit.
#pragma once

#include <cstdint>
#include <string>

namespace veltraw {

class ErrorLog;
class TimeClass;

class NtpTimestamp {
 public:
  constexpr NtpTimestamp() = default;
  constexpr explicit NtpTimestamp(uint64_t value) : m_value(value) {}
  static constexpr NtpTimestamp Make(uint32_t seconds, uint32_t fraction) {
    return NtpTimestamp((static_cast<uint64_t>(seconds) << 32) | fraction);
  }

  constexpr uint64_t value() const { return m_value; }
  constexpr uint32_t seconds() const { return static_cast<uint32_t>(m_value >> 32); }
  constexpr uint32_t fraction() const { return static_cast<uint32_t>(m_value); }
  constexpr bool IsZero() const { return m_value == 0; }
  constexpr bool IsNegative() const { return (m_value >> 63) != 0; }
  // Two's-complement magnitude of a negative difference; others stay.
  void Abs() {
    if (IsNegative()) m_value = 0 - m_value;
  }

  // 8 bytes, seconds then fraction, most significant byte first. Return 8.
  int WriteWire(uint8_t* bytes) const;
  int ReadWire(const uint8_t* bytes);

  std::string ToText() const;  // "%08x.%08x"
  double ToSeconds() const;

  // Calendar conversions; the NTP era rule decides the century (bit 31 clear
  // means after 2036-02-07 06:28:16 UTC).
  static NtpTimestamp FromCalendar(const TimeClass& time);
  TimeClass ToCalendar() const;

  constexpr NtpTimestamp operator+(NtpTimestamp other) const {
    return NtpTimestamp(m_value + other.m_value);
  }
  constexpr NtpTimestamp operator-(NtpTimestamp other) const {
    return NtpTimestamp(m_value - other.m_value);
  }
  NtpTimestamp& operator-=(NtpTimestamp other) {
    m_value -= other.m_value;
    return *this;
  }
  constexpr bool operator==(NtpTimestamp other) const { return m_value == other.m_value; }
  constexpr bool operator!=(NtpTimestamp other) const { return m_value != other.m_value; }

 private:
  uint64_t m_value = 0;
};

// Writes ToText() as one piece.
ErrorLog& operator<<(ErrorLog& log, const NtpTimestamp& timestamp);

// A signed interval in units of 2^-32 s, wide enough to hold the sum or the
// difference of two timestamp differences exactly (each within +-2^31 s).
using NtpInterval = __int128;

// later - earlier read as a signed difference: exact for instants less than
// 2^31 s (about 68 years) apart, whatever their eras.
constexpr NtpInterval SignedDifference(NtpTimestamp later, NtpTimestamp earlier) {
  return static_cast<int64_t>((later - earlier).value());
}

// Every conversion of an interval to and from decimal units lives here, so
// that nobody shifts fractions by hand.
// Whole milliseconds, truncated toward zero.
int64_t WholeMilliseconds(NtpInterval interval);
// Microseconds, rounded to the nearest (halves away from zero).
int64_t RoundedMicroseconds(NtpInterval interval);
double IntervalSeconds(NtpInterval interval);
// A non-negative interval of nanoseconds (below 2^32 s).
NtpTimestamp NtpFromNanoseconds(uint64_t nanoseconds);
// Milliseconds (truncated) and nanoseconds (truncated) of a fraction of a second.
uint32_t FractionMilliseconds(uint32_t fraction);
uint32_t FractionNanoseconds(uint32_t fraction);

// The two results of one exchange of an SNTP request and its reply, from T1
// (request sent, PC clock), T2 (request received, server clock), T3 (reply
// sent, server clock) and T4 (reply received, PC clock). Each difference is
// taken signed before they are combined, so that no sum wraps.
// Twice the offset, (T2 - T1) + (T3 - T4): positive when the server is ahead.
NtpInterval DoubledOffset(NtpTimestamp t1, NtpTimestamp t2, NtpTimestamp t3, NtpTimestamp t4);
// The network's share of the exchange, (T4 - T1) - (T3 - T2).
NtpInterval RoundTrip(NtpTimestamp t1, NtpTimestamp t2, NtpTimestamp t3, NtpTimestamp t4);

}  // namespace veltraw
