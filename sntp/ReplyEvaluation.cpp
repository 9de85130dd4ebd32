#include "sntp/ReplyEvaluation.h"

#include <string>

#include "LIB/Log/ErrorLog.h"

namespace veltraw {

namespace {

// Milliseconds of a 64-bit interval read unsigned, the fraction truncated.
uint64_t unsignedMilliseconds(NtpTimestamp v) {
  return uint64_t{v.seconds()} * 1000 + FractionMilliseconds(v.fraction());
}

bool fitsInt32(int64_t value) { return value >= INT32_MIN && value <= INT32_MAX; }

void logTimestamps(NtpTimestamp t1, NtpTimestamp t2, NtpTimestamp t3, NtpTimestamp t4) {
  ErrorLog::instance().begin(Detail)
      << "T1 = " << t1 << "; T2 = " << t2 << "; T3 = " << t3 << "; T4 = " << t4 << End;
}

// A reply that speaks for no synchronised server must never set the clock:
// an alarm leap indicator, a kiss-o'-death or unsynchronised stratum, or a
// mode other than server or broadcast. Returns false after logging why.
bool headerIsUsable(const NtpPacket& packet) {
  const bool alarm = packet.leapIndicator() == 3;
  const uint8_t stratum = packet.stratum();
  const bool badStratum = stratum == 0 || stratum >= 16;
  const uint8_t mode = packet.mode();
  const bool badMode = mode != 4 && mode != 5;
  if (!alarm && !badStratum && !badMode) return true;

  ErrorLog& log = ErrorLog::instance();
  log.begin(Warning) << "Returning bad reference because: ";
  if (alarm) log << "LI=3 (unsynchronized); ";
  if (stratum == 0) {
    log << "Stratum=0 (kiss code ";
    for (int i = 0; i < 4; ++i) log << static_cast<char>(packet.referenceId()[i]);
    log << "); ";
  } else if (badStratum) {
    log << "Stratum=" << static_cast<int32_t>(stratum) << "; ";
  }
  if (badMode) log << "Mode=" << static_cast<int32_t>(mode) << "; ";
  log << End;
  return false;
}

}  // namespace

bool EvaluateReply(const NtpPacket& packet, NtpTimestamp arrival, int32_t& offsetMs,
                   int32_t& roundTripMs) {
  const NtpTimestamp t1 = packet.originateTimestamp();
  const NtpTimestamp t2 = packet.receiveTimestamp();
  const NtpTimestamp t3 = packet.transmitTimestamp();
  const NtpTimestamp t4 = arrival;
  ErrorLog& log = ErrorLog::instance();

  if (!headerIsUsable(packet)) {
    logTimestamps(t1, t2, t3, t4);
    return false;
  }

  if (t1.IsZero() || t2.IsZero() || t3.IsZero() || t4.IsZero()) {
    log.begin(Warning) << "Returning bad reference because: ";
    if (t1.IsZero()) log << "Originate = 0; ";
    if (t2.IsZero()) log << "Receive = 0; ";
    if (t3.IsZero()) log << "Transmit = 0; ";
    if (t4.IsZero()) log << "Arrival = 0; ";
    log << End;
    logTimestamps(t1, t2, t3, t4);
    return false;
  }

  // offset = ((T2 - T1) + (T3 - T4)) / 2. Each difference is read signed
  // before the two are added: a server about 68 years off has differences near
  // +-2^31 s whose 64-bit sum would wrap to a small, plausible offset.
  const int64_t offset = WholeMilliseconds(DoubledOffset(t1, t2, t3, t4)) / 2;
  if (!fitsInt32(offset)) {
    log.begin(Warning) << "Returning bad reference because: "
                       << "deltaT out of range (" << static_cast<unsigned long long>(offset) << ")"
                       << End;
    logTimestamps(t1, t2, t3, t4);
    return false;
  }
  // Each end's own view of the offset must be in range as well: exactly
  // 2^31 s apart, T2 - T1 and T3 - T4 read signed land on either side of the
  // wrap, one near -2^31 s and one near +2^31 s, and cancel.
  const int64_t outward = WholeMilliseconds(SignedDifference(t2, t1));
  const int64_t homeward = WholeMilliseconds(SignedDifference(t3, t4));
  if (!fitsInt32(outward) || !fitsInt32(homeward)) {
    log.begin(Warning)
        << "Returning bad reference because: clock difference out of range (T2 - T1 = "
        << std::to_string(outward) << " ms, T3 - T4 = " << std::to_string(homeward) << " ms)"
        << End;
    logTimestamps(t1, t2, t3, t4);
    return false;
  }
  offsetMs = static_cast<int32_t>(offset);
  log.begin(Detail) << "NTP packet: Arrival = " << t4 << "; Client-time = " << (t4 - t1)
                    << "; Server-time = " << (t3 - t2) << End;

  // round trip = (T4 - T1) - (T3 - T2); negative when the server claims to
  // have held the request longer than the PC waited for the reply.
  const NtpInterval roundTrip = RoundTrip(t1, t2, t3, t4);
  const int64_t roundTripWholeMs = WholeMilliseconds(roundTrip);
  if (roundTrip < 0 || roundTripWholeMs > INT32_MAX) {
    // A negative round trip is logged as its 64-bit pattern read unsigned,
    // the value this line has always shown for it.
    const uint64_t shown =
        roundTrip < 0 ? unsignedMilliseconds(NtpTimestamp(static_cast<uint64_t>(roundTrip)))
                      : static_cast<uint64_t>(roundTripWholeMs);
    log.begin(Warning) << "Returning bad reference because: "
                       << "roundtrip out of range (" << static_cast<unsigned long long>(shown)
                       << ")" << End;
    logTimestamps(t1, t2, t3, t4);
    return false;
  }
  roundTripMs = static_cast<int32_t>(roundTripWholeMs);
  return true;
}

NtpTimestamp ArrivalTime(NtpTimestamp now, uint64_t ageNs, const NtpPacket& reply) {
  if (ageNs == 0) return now;
  const NtpTimestamp age = NtpFromNanoseconds(ageNs);
  const NtpTimestamp estimate = now - age;
  const NtpTimestamp t1 = reply.originateTimestamp();
  const NtpTimestamp t2 = reply.receiveTimestamp();
  const NtpTimestamp t3 = reply.transmitTimestamp();
  // Without the three, or with a server that claims to have answered before
  // it was asked, there is no bound to keep.
  if (t1.IsZero() || t2.IsZero() || t3.IsZero()) return estimate;
  const NtpInterval serverTime = SignedDifference(t3, t2);
  if (serverTime < 0) return estimate;
  // How far the earliest possible arrival lies after the estimate.
  const NtpInterval shortfall = SignedDifference(t1, estimate) + serverTime;
  if (shortfall <= 0) return estimate;
  if (shortfall >= static_cast<NtpInterval>(age.value())) return now;
  return estimate + NtpTimestamp(static_cast<uint64_t>(shortfall));
}

}  // namespace veltraw
