// Feeds reply evaluation any 48 bytes and any arrival time. Whatever arrives,
// the answer is a clean true or false, and a true answer only ever comes from
// a synchronised server's reply with all four times set.
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
  if (good) {
    check(packet.leapIndicator() != 3);
    check(packet.stratum() >= 1 && packet.stratum() <= 15);
    check(packet.mode() == 4 || packet.mode() == 5);
    check(!packet.originateTimestamp().IsZero() && !packet.receiveTimestamp().IsZero() &&
          !packet.transmitTimestamp().IsZero() && !arrival.IsZero());
    check(roundTripMs >= 0);
    // The same figures from the raw 64-bit values, with 128-bit products.
    const uint64_t t1 = packet.originateTimestamp().value();
    const uint64_t t2 = packet.receiveTimestamp().value();
    const uint64_t t3 = packet.transmitTimestamp().value();
    const uint64_t t4 = arrival.value();
    const auto b = static_cast<int64_t>((t2 - t1) + (t3 - t4));
    const unsigned __int128 magnitude = b < 0 ? 0 - static_cast<uint64_t>(b) : static_cast<uint64_t>(b);
    const auto ms = static_cast<__int128>((magnitude * 1000) >> 32);
    check(offsetMs == (b < 0 ? -ms : ms) / 2);
    const uint64_t g = (t4 - t1) - (t3 - t2);
    check(roundTripMs == static_cast<__int128>((static_cast<unsigned __int128>(g) * 1000) >> 32));
  } else {
    check(roundTripMs == 0x5A5A5A5A);
  }
  return 0;
}
