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

}  // namespace veltraw
