#include <gtest/gtest.h>

#include <cstring>

#include "sntp/ReplyEvaluation.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

constexpr uint32_t S = 0xc76b0235;
constexpr uint32_t kDay = 86400;

NtpTimestamp at(uint32_t fraction, uint32_t seconds = S) {
  return NtpTimestamp::Make(seconds, fraction);
}

// A server's reply (by default LI 0, version 4, mode 4, stratum 2) with the
// given times, and what the evaluation made of it.
struct Exchange {
  NtpTimestamp t1, t2, t3, t4;
  uint8_t first = 0x24, stratum = 2;
  const char* referenceId = "\0\0\0";
};
struct Evaluation {
  bool good;
  int32_t offsetMs = -7777, roundTripMs = -7777;
  std::vector<std::string> lines;
  std::vector<int32_t> levels;
};

NtpPacket packetOf(const Exchange& x) {
  NtpPacket p;
  p.bytes[0] = x.first;
  p.bytes[1] = x.stratum;
  std::memcpy(p.bytes + 12, x.referenceId, 4);
  x.t1.WriteWire(p.bytes + NtpPacket::kOriginateTimestampOffset);
  x.t2.WriteWire(p.bytes + NtpPacket::kReceiveTimestampOffset);
  x.t3.WriteWire(p.bytes + NtpPacket::kTransmitTimestampOffset);
  return p;
}

Evaluation evaluate(const Exchange& x) {
  const NtpPacket p = packetOf(x);
  test::CaptureSink sink;
  Evaluation e;
  e.good = EvaluateReply(p, x.t4, e.offsetMs, e.roundTripMs);
  e.lines = sink.messages();
  e.levels = sink.levels;
  return e;
}

TEST(EvaluateReply, OffsetAndRoundTripInWholeMilliseconds) {
  const struct {
    Exchange x;
    int32_t offsetMs, roundTripMs;
  } cases[] = {
      // B = 0.21875 s -> 218 ms, halved; the round trip 0.03125 s truncates to 31.
      {{at(0), at(0x20000000), at(0x28000000), at(0x10000000)}, 109, 31},
      // A PC ahead of the server: -281 ms halves toward zero to -140.
      {{at(0x20000000), at(0), at(0x08000000), at(0x30000000)}, -140, 31},
      // The server took exactly as long as the PC waited: no network time.
      {{at(0), at(0x40000000), at(0x50000000), at(0x10000000)}, 250, 0},
      // Just inside the limit: 24 days (2,073,600,000 ms) is still a time.
      {{at(0), at(0, S + 24 * kDay), at(0, S + 24 * kDay), at(0)}, 2073600000, 0},
      // The request left just before the 2036 wrap, the reply came after it.
      {{at(0xF0000000, ~0u), at(0x08000000, 0), at(0x09000000, 0), at(0x01000000, 0)}, 62, 62},
      // Broadcast replies; a leap warning with stratum 15. The version is not checked.
      {{at(0), at(0x20000000), at(0x28000000), at(0x10000000), 0x25}, 109, 31},
      {{at(0), at(0x20000000), at(0x28000000), at(0x10000000), 0xA4, 15}, 109, 31},
  };
  for (const auto& c : cases) {
    const Evaluation e = evaluate(c.x);
    EXPECT_TRUE(e.good) << c.offsetMs;
    EXPECT_EQ(e.offsetMs, c.offsetMs);
    EXPECT_EQ(e.roundTripMs, c.roundTripMs) << c.offsetMs;
  }
  const Evaluation logged = evaluate(cases[0].x);
  EXPECT_EQ(logged.lines,
            std::vector<std::string>{"NTP packet: Arrival = c76b0235.10000000; Client-time = "
                                     "00000000.10000000; Server-time = 00000000.08000000"});
  EXPECT_EQ(logged.levels, std::vector<int32_t>{Detail});
}

// A reply that fails says why, then shows its four times; the offset is left
// as it was unless only the round trip failed.
TEST(EvaluateReply, BadRepliesAreRejectedWithTheirReasons) {
  const NtpTimestamp zero;
  const NtpTimestamp t1 = at(0), t2 = at(0x20000000), t3 = at(0x28000000), t4 = at(0x10000000);
  const struct {
    Exchange x;
    const char* reason;
    int32_t offsetMs = -7777;
  } cases[] = {
      {{at(0), at(0), at(0x10000000), at(0x08000000)},
       "roundtrip out of range (4294967295968)",
       15},
      {{at(0), at(0, S + 30 * kDay), at(0, S + 30 * kDay), at(0)},
       "deltaT out of range (2592000000)"},
      // A negative offset goes through the unsigned append: 2^64 - 2592000000.
      {{at(0), at(0, S - 30 * kDay), at(0, S - 30 * kDay), at(0)},
       "deltaT out of range (18446744071117551616)"},
      {{zero, at(1), zero, zero}, "Originate = 0; Transmit = 0; Arrival = 0; "},
      {{at(1), zero, at(2), at(3)}, "Receive = 0; "},
      {{t1, t2, t3, zero}, "Arrival = 0; "},  // one zero alone is as bad as all four
      {{t1, t2, t3, t4, 0xE4, 2, "\x7f\0\0\1"}, "LI=3 (unsynchronized); "},
      {{t1, t2, t3, t4, 0x24, 0, "RATE"}, "Stratum=0 (kiss code RATE); "},
      {{t1, t2, t3, t4, 0x24, 0, "DE\nY"}, "Stratum=0 (kiss code DE\\x0aY); "},
      {{t1, t2, t3, t4, 0x24, 16}, "Stratum=16; "},
      {{t1, t2, t3, t4, 0x23}, "Mode=3; "},
      {{t1, t2, t3, t4, 0xE3, 0, "DENY"},
       "LI=3 (unsynchronized); Stratum=0 (kiss code DENY); Mode=3; "},
      // Header checks come before the zero check: one reason, not two.
      {{zero, at(1), at(2), at(3), 0xE4}, "LI=3 (unsynchronized); "},
      // 2^31 s ahead: the two differences land on either side of the signed
      // wrap and would cancel into an offset of 1 ms.
      {{at(0), at(0x08000000, S + 0x80000000u), at(0x09000000, S + 0x80000000u), at(0x10000000)},
       "clock difference out of range (T2 - T1 = -2147483647968 ms, T3 - T4 = 2147483647972 ms)"},
  };
  for (const auto& c : cases) {
    const Evaluation e = evaluate(c.x);
    EXPECT_FALSE(e.good) << c.reason;
    EXPECT_EQ(e.offsetMs, c.offsetMs) << c.reason;
    EXPECT_EQ(e.roundTripMs, -7777) << c.reason;
    ASSERT_GE(e.lines.size(), 2u) << c.reason;
    EXPECT_EQ(e.lines.size(), c.offsetMs == -7777 ? 2u : 3u) << c.reason;
    EXPECT_EQ(e.lines[e.lines.size() - 2],
              std::string("Returning bad reference because: ") + c.reason);
    EXPECT_EQ(e.levels[e.lines.size() - 2], Warning);
    EXPECT_EQ(e.levels.back(), Detail);
  }
  EXPECT_EQ(evaluate(cases[3].x).lines[1],
            "T1 = 00000000.00000000; T2 = c76b0235.00000001; T3 = 00000000.00000000; "
            "T4 = 00000000.00000000");
}

// An arrival age moves T4 back, but never so far that the round trip turns
// negative: not before T1 plus the server's own time, and never after now.
TEST(ArrivalTime, TheAgeComesOffUnlessItWouldPredateTheAnswer) {
  const uint32_t ahead = S + 10;  // the server's clock, 10 s ahead
  const NtpTimestamp now = at(0x40000000);
  const uint64_t sixteenth = 62500000;  // ns: 0x10000000 of a second
  const struct {
    NtpTimestamp t1, t2, t3;
    uint64_t ageNs;
    NtpTimestamp arrival;
  } cases[] = {
      {at(0), at(0x01000000, ahead), at(0x09000000, ahead), 0, now},
      {at(0), at(0x01000000, ahead), at(0x09000000, ahead), sixteenth, at(0x30000000)},
      // The age reaches back to T1 and beyond: the server's 0x08000000 come first.
      {at(0), at(0x01000000, ahead), at(0x09000000, ahead), 8 * sixteenth, at(0x08000000)},
      // A server that took longer than the whole exchange: no earlier than now.
      {at(0), at(0x01000000, ahead), at(0x51000000, ahead), sixteenth, now},
      // No bound without T1, or from a server that answered before it was asked.
      {NtpTimestamp(), at(0x01000000, ahead), at(0x09000000, ahead), 8 * sixteenth,
       at(0xC0000000, S - 1)},
      {at(0), at(0x09000000, ahead), at(0x01000000, ahead), 8 * sixteenth, at(0xC0000000, S - 1)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ArrivalTime(now, c.ageNs, packetOf({c.t1, c.t2, c.t3, {}})).ToText(),
              c.arrival.ToText())
        << c.ageNs << " " << c.t1.ToText() << " " << c.t3.ToText();
  }
}

}  // namespace
}  // namespace veltraw
