// Where a clock step lands. The system takes whole milliseconds, so setting it
// from a time computed at any moment can land up to a millisecond early; and
// a time built from the transmit timestamp plus half a whole-millisecond
// round trip is off by the truncations too. A precise step computes the
// server's time as the PC's time plus the offset of the last reply, at full
// resolution, and sets the clock the moment that time has just passed a whole
// millisecond, so that the truncated value is right when it takes effect.
#pragma once

#include <cstdint>

#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/PrecisionClock.h"
#include "sntp/NtpResult.h"

namespace veltraw {

// The offset of the result's last reply at full resolution: positive when
// the server is ahead of the PC.
NtpInterval replyOffset(const NtpResult& result);

// The PC's time moved by offset.
TimeClass shiftedTime(const TimeClass& time, NtpInterval offset);

// Waits, reading clock, until now + offset lies within the first
// windowMicroseconds of a whole millisecond (at most about a millisecond,
// and never longer than maxWaitMicroseconds by the steady clock, for a clock
// that does not move), then returns now + offset.
TimeClass alignedStepTime(Clock& clock, NtpInterval offset, uint32_t windowMicroseconds = 50,
                          uint32_t maxWaitMicroseconds = 2000);

}  // namespace veltraw
