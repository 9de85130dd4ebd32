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

// T4 of a reply read on the PC clock at now, which reached the machine ageNs
// before by the platform's account: now - age. Where the system does not
// stamp arrivals the age is an estimate, and one that would put the arrival
// before the server could have answered (T1 plus the server's own time,
// T3 - T2: a negative round trip) is cut back to that moment. The result lies
// between now - age and now.
NtpTimestamp ArrivalTime(NtpTimestamp now, uint64_t ageNs, const NtpPacket& reply);

}  // namespace veltraw
