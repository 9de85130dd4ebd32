// Feeds reply evaluation any 48 bytes and any arrival time. Whatever arrives,
// the answer is a clean true or false, and a true answer only ever comes from
// a synchronised server's reply with all four times set.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "LIB/Log/ErrorLog.h"
#include "sntp/ReplyEvaluation.h"

namespace {

// Keeps the log's text paths exercised without storing anything.
class NullSink : public veltraw::LogSink {
 public:
  NullSink() : LogSink(true) { level = veltraw::Trace; }
  void beginEntry(std::time_t, int32_t) override {}
  void write(const char* text) override { length += std::strlen(text); }
  void endEntry() override {}
  size_t length = 0;
};

void check(bool condition) {
  if (!condition) std::abort();
}

// A synchronised server's reply: not an alarm, a stratum from 1 to 15, server
// or broadcast mode.
bool headerUsable(const veltraw::NtpPacket& packet) {
  return packet.leapIndicator() != 3 && packet.stratum() >= 1 && packet.stratum() <= 15 &&
         (packet.mode() == 4 || packet.mode() == 5);
}

// Milliseconds of difference that floating point may get wrong: differences
// near 2^63 units carry an error of about 1e-7 ms each.
constexpr long double kSlack = 1e-5L;

// later - earlier in milliseconds, the 64-bit difference read as signed.
long double unitsToMs(veltraw::NtpTimestamp later, veltraw::NtpTimestamp earlier) {
  const auto units = static_cast<int64_t>(later.value() - earlier.value());
  return static_cast<long double>(units) * 1000 / 4294967296.0L;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullSink sink;
  static bool registered = (veltraw::ErrorLog::instance().addSink(&sink), true);
  (void)registered;
  if (size < veltraw::NtpPacket::kSize + 8) return 0;

  veltraw::NtpPacket packet;
  std::memcpy(packet.bytes, data, veltraw::NtpPacket::kSize);
  veltraw::NtpTimestamp arrival;
  arrival.ReadWire(data + veltraw::NtpPacket::kSize);

  int32_t offsetMs = 0x5A5A5A5A;
  int32_t roundTripMs = 0x5A5A5A5A;
  const bool good = veltraw::EvaluateReply(packet, arrival, offsetMs, roundTripMs);
  const veltraw::NtpTimestamp t1 = packet.originateTimestamp();
  const veltraw::NtpTimestamp t2 = packet.receiveTimestamp();
  const veltraw::NtpTimestamp t3 = packet.transmitTimestamp();
  // The figures again, in floating point from each signed difference: no
  // integer sum to wrap, no fraction shifted by hand.
  const long double outward = unitsToMs(t2, t1);
  const long double homeward = unitsToMs(t3, arrival);
  const long double offset = (outward + homeward) / 2;
  const long double roundTrip = unitsToMs(arrival, t1) - unitsToMs(t3, t2);
  if (good) {
    check(headerUsable(packet));
    check(!t1.IsZero() && !t2.IsZero() && !t3.IsZero() && !arrival.IsZero());
    check(roundTripMs >= 0);
    // The whole milliseconds lie within one of the exact values (kSlack
    // covers the floating point's own rounding when two differences decades
    // long nearly cancel).
    check(std::fabs(offset - offsetMs) < 1 + kSlack);
    check(roundTrip > roundTripMs - kSlack && roundTrip < roundTripMs + 1 + kSlack);
    // Both clocks tell the same round trip. They do not when the two
    // differences lie on either side of the signed wrap (a server 2^31 s
    // off), which also makes the offset above look small.
    check(std::fabs(outward - homeward - roundTrip) < kSlack);
  } else {
    check(roundTripMs == 0x5A5A5A5A);
    // A usable header and four times set: only a result that cannot be shown
    // in 32-bit milliseconds, from either end's difference or from both, or a
    // negative round trip, is refused.
    if (headerUsable(packet) && !t1.IsZero() && !t2.IsZero() && !t3.IsZero() && !arrival.IsZero()) {
      const long double limit = 2147483647.0L - kSlack;
      check(std::fabs(offset) >= limit || std::fabs(outward) >= limit ||
            std::fabs(homeward) >= limit || roundTrip < kSlack ||
            roundTrip >= 2147483648.0L - kSlack);
    }
  }
  return 0;
}
