// Whether an SNTP reply is a usable time reference, and if so how far the
// server's clock is from the PC's.
#pragma once

#include <cstdint>

#include "LIB/Time/NtpTimestamp.h"
#include "sntp/NtpPacket.h"

namespace veltraw {

// packet: the reply as received; arrival: T4, the PC clock right
// after the reply was received.
// offsetMs: milliseconds, positive when the server is ahead of the PC.
// roundTripMs: milliseconds spent on the network, without the server's own time.
// Returns false for a bad reference, every reason logged with the four
// timestamps; the outputs are then untouched, except offsetMs when only the
// round trip is out of range.
bool EvaluateReply(const NtpPacket& packet, NtpTimestamp arrival, int32_t& offsetMs,
                   int32_t& roundTripMs);

}  // namespace veltraw
