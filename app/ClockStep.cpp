#include "app/ClockStep.h"

#include <chrono>

namespace veltraw {

NtpInterval replyOffset(const NtpResult& result) {
  const NtpPacket& p = result.packet;
  return DoubledOffset(p.originateTimestamp(), p.receiveTimestamp(), p.transmitTimestamp(),
                       result.arrival) /
         2;
}

TimeClass shiftedTime(const TimeClass& time, NtpInterval offset) {
  // The offset is far below 2^63 units here (a few weeks at most), so the
  // 64-bit wrapping sum is the exact instant.
  return (NtpTimestamp::FromCalendar(time) + NtpTimestamp(static_cast<uint64_t>(offset)))
      .ToCalendar();
}

TimeClass alignedStepTime(Clock& clock, NtpInterval offset, uint32_t windowMicroseconds,
                          uint32_t maxWaitMicroseconds) {
  const auto giveUp =
      std::chrono::steady_clock::now() + std::chrono::microseconds(maxWaitMicroseconds);
  for (;;) {
    const TimeClass target = shiftedTime(clock.Now(), offset);
    // Microseconds past the whole millisecond, from the exact fraction.
    const uint64_t sinceMillisecond = ((uint64_t{target.fraction} * 1000000) >> 32) % 1000;
    if (sinceMillisecond < windowMicroseconds || std::chrono::steady_clock::now() >= giveUp) {
      return target;
    }
  }
}

}  // namespace veltraw
