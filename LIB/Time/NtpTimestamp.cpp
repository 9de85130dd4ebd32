#include "LIB/Time/NtpTimestamp.h"

#include <cstdio>

#include "LIB/Log/ErrorLog.h"

namespace veltraw {

int NtpTimestamp::WriteWire(uint8_t* bytes) const {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(m_value >> (56 - 8 * i));
  return 8;
}

int NtpTimestamp::ReadWire(const uint8_t* bytes) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
  m_value = value;
  return 8;
}

namespace {

void formatText(NtpTimestamp t, char (&text)[24]) {
  std::snprintf(text, sizeof text, "%08x.%08x", static_cast<unsigned>(t.seconds()),
                static_cast<unsigned>(t.fraction()));
}

}  // namespace

std::string NtpTimestamp::ToText() const {
  char text[24];
  formatText(*this, text);
  return text;
}

double NtpTimestamp::ToSeconds() const {
  return static_cast<double>(seconds()) + static_cast<double>(fraction()) / 4294967296.0;
}

namespace {

constexpr NtpInterval kUnitsPerSecond = NtpInterval{1} << 32;

// |interval| x factor / 2^32, truncated, with the interval's sign.
int64_t scaledTowardZero(NtpInterval interval, int64_t factor, bool roundToNearest) {
  const bool negative = interval < 0;
  const NtpInterval magnitude = negative ? -interval : interval;
  NtpInterval scaled = magnitude * factor;
  if (roundToNearest) scaled += kUnitsPerSecond / 2;
  const auto result = static_cast<int64_t>(scaled >> 32);
  return negative ? -result : result;
}

}  // namespace

int64_t WholeMilliseconds(NtpInterval interval) { return scaledTowardZero(interval, 1000, false); }

int64_t RoundedMicroseconds(NtpInterval interval) {
  return scaledTowardZero(interval, 1000000, true);
}

double IntervalSeconds(NtpInterval interval) {
  return static_cast<double>(interval) / static_cast<double>(kUnitsPerSecond);
}

NtpTimestamp NtpFromNanoseconds(uint64_t nanoseconds) {
  return NtpTimestamp(((nanoseconds / 1000000000) << 32) |
                      (((nanoseconds % 1000000000) << 32) / 1000000000));
}

uint32_t FractionMilliseconds(uint32_t fraction) {
  return static_cast<uint32_t>((uint64_t{fraction} * 1000) >> 32);
}

uint32_t FractionNanoseconds(uint32_t fraction) {
  return static_cast<uint32_t>((uint64_t{fraction} * 1000000000) >> 32);
}

NtpInterval DoubledOffset(NtpTimestamp t1, NtpTimestamp t2, NtpTimestamp t3, NtpTimestamp t4) {
  return SignedDifference(t2, t1) + SignedDifference(t3, t4);
}

NtpInterval RoundTrip(NtpTimestamp t1, NtpTimestamp t2, NtpTimestamp t3, NtpTimestamp t4) {
  return SignedDifference(t4, t1) - SignedDifference(t3, t2);
}

ErrorLog& operator<<(ErrorLog& log, const NtpTimestamp& timestamp) {
  // On the stack: timestamps are logged for every packet.
  char text[24];
  formatText(timestamp, text);
  return log << static_cast<const char*>(text);
}

}  // namespace veltraw
