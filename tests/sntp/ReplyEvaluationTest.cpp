#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "sntp/ReplyEvaluation.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

using test::CaptureSink;

constexpr uint32_t S = 0xc76b0235;

// A server's reply (LI 0, version 4, mode 4, stratum 2) with the given times.
NtpPacket reply(NtpTimestamp t1, NtpTimestamp t2, NtpTimestamp t3) {
  NtpPacket p;
  p.bytes[0] = 0x24;
  p.bytes[1] = 2;
  t1.WriteWire(p.bytes + NtpPacket::kOriginateTimestampOffset);
  t2.WriteWire(p.bytes + NtpPacket::kReceiveTimestampOffset);
  t3.WriteWire(p.bytes + NtpPacket::kTransmitTimestampOffset);
  return p;
}

NtpTimestamp at(uint32_t fraction, uint32_t seconds = S) {
  return NtpTimestamp::Make(seconds, fraction);
}

struct Evaluation {
  bool good;
  int32_t offsetMs;
  int32_t roundTripMs;
  std::vector<std::string> lines;
  std::vector<int32_t> levels;
};

Evaluation evaluate(const NtpPacket& packet, NtpTimestamp arrival) {
  CaptureSink sink;
  Evaluation e{false, -7777, -7777, {}, {}};
  e.good = EvaluateReply(packet, arrival, e.offsetMs, e.roundTripMs);
  for (const auto& line : sink.lines) e.lines.push_back(line.substr(line.find(">: ") + 3));
  e.levels = sink.levels;
  return e;
}

TEST(EvaluateReply, OffsetAndRoundTripInWholeMilliseconds) {
  // B = 0.21875 s -> 218 ms, halved; the round trip 0.03125 s truncates to 31.
  Evaluation ahead = evaluate(reply(at(0), at(0x20000000), at(0x28000000)), at(0x10000000));
  EXPECT_TRUE(ahead.good);
  EXPECT_EQ(ahead.offsetMs, 109);
  EXPECT_EQ(ahead.roundTripMs, 31);
  ASSERT_EQ(ahead.lines.size(), 1u);
  EXPECT_EQ(ahead.lines[0],
            "NTP packet: Arrival = c76b0235.10000000; Client-time = 00000000.10000000; "
            "Server-time = 00000000.08000000");
  EXPECT_EQ(ahead.levels[0], Detail);

  // A PC ahead of the server: -281 ms halves toward zero to -140.
  Evaluation behind = evaluate(reply(at(0x20000000), at(0), at(0x08000000)), at(0x30000000));
  EXPECT_TRUE(behind.good);
  EXPECT_EQ(behind.offsetMs, -140);
  EXPECT_EQ(behind.roundTripMs, 31);

  // The server took exactly as long as the PC waited: no network time at all.
  Evaluation instant = evaluate(reply(at(0), at(0x40000000), at(0x50000000)), at(0x10000000));
  EXPECT_TRUE(instant.good);
  EXPECT_EQ(instant.roundTripMs, 0);
}

TEST(EvaluateReply, ServerSlowerThanTheExchangeFailsTheRoundTripAfterStoringTheOffset) {
  Evaluation e = evaluate(reply(at(0), at(0), at(0x10000000)), at(0x08000000));
  EXPECT_FALSE(e.good);
  EXPECT_EQ(e.offsetMs, 15);
  EXPECT_EQ(e.roundTripMs, -7777);
  ASSERT_EQ(e.lines.size(), 3u);
  EXPECT_EQ(e.lines[1], "Returning bad reference because: roundtrip out of range (4294967295968)");
  EXPECT_EQ(e.lines[2],
            "T1 = c76b0235.00000000; T2 = c76b0235.00000000; T3 = c76b0235.10000000; "
            "T4 = c76b0235.08000000");
  EXPECT_EQ(e.levels, (std::vector<int32_t>{Detail, Warning, Detail}));
}

TEST(EvaluateReply, OffsetsBeyondThirtyTwoBitsAreRejectedUntouched) {
  // 30 days apart either way.
  const uint32_t days30 = 2592000;
  Evaluation ahead = evaluate(reply(at(0), at(0, S + days30), at(0, S + days30)), at(0));
  EXPECT_FALSE(ahead.good);
  EXPECT_EQ(ahead.offsetMs, -7777);
  ASSERT_EQ(ahead.lines.size(), 2u);
  EXPECT_EQ(ahead.lines[0], "Returning bad reference because: deltaT out of range (2592000000)");

  Evaluation behind = evaluate(reply(at(0), at(0, S - days30), at(0, S - days30)), at(0));
  EXPECT_FALSE(behind.good);
  // A negative offset goes through the unsigned append: 2^64 - 2592000000.
  EXPECT_EQ(behind.lines[0],
            "Returning bad reference because: deltaT out of range (18446744071117551616)");

  // Just inside the limit: 24 days (2,073,600,000 ms) is still a time.
  const uint32_t days24 = 24 * 86400;
  Evaluation edge = evaluate(reply(at(0), at(0, S + days24), at(0, S + days24)), at(0));
  EXPECT_TRUE(edge.good);
  EXPECT_EQ(edge.offsetMs, 2073600000);
}

TEST(EvaluateReply, ServersAboutSixtyEightYearsOffNeverPassAsClose) {
  // Differences near 2^31 s either way: added as 64-bit values they wrap to a
  // small offset (0 for exactly 2^31 s, one day for 2^31 s + 1 day), which
  // would set the clock decades away. In both NTP eras, both directions.
  for (const uint32_t base : {S, 0x00001000u}) {
    for (const uint32_t distance : {0x80000000u, 0x80000000u - 86400, 0x80000000u + 86400}) {
      for (const bool ahead : {true, false}) {
        const uint32_t server = ahead ? base + distance : base - distance;
        Evaluation e = evaluate(reply(at(0, base), at(0, server), at(0, server)), at(0, base));
        EXPECT_FALSE(e.good) << std::hex << base << " " << distance << " " << ahead;
        EXPECT_EQ(e.offsetMs, -7777);
        ASSERT_FALSE(e.lines.empty());
        EXPECT_EQ(e.lines[0].rfind("Returning bad reference because: deltaT out of range (", 0),
                  0u);
      }
    }
  }
}

TEST(EvaluateReply, ZeroTimestampsAreNamedInOrderAndNothingIsComputed) {
  Evaluation e = evaluate(reply(NtpTimestamp(), at(1), NtpTimestamp()), NtpTimestamp());
  EXPECT_FALSE(e.good);
  EXPECT_EQ(e.offsetMs, -7777);
  ASSERT_EQ(e.lines.size(), 2u);
  EXPECT_EQ(e.lines[0],
            "Returning bad reference because: Originate = 0; Transmit = 0; Arrival = 0; ");
  EXPECT_EQ(e.lines[1],
            "T1 = 00000000.00000000; T2 = c76b0235.00000001; T3 = 00000000.00000000; "
            "T4 = 00000000.00000000");

  Evaluation receive = evaluate(reply(at(1), NtpTimestamp(), at(2)), at(3));
  EXPECT_EQ(receive.lines[0], "Returning bad reference because: Receive = 0; ");
}

TEST(EvaluateReply, RepliesThatSpeakForNoSynchronisedServerAreBad) {
  const NtpPacket good = reply(at(0), at(0x20000000), at(0x28000000));
  struct Case {
    uint8_t first, stratum;
    const char* ref;
    const char* reason;
  } cases[] = {
      {0xE4, 2, "\x7f\0\0\1", "LI=3 (unsynchronized); "},
      {0x24, 0, "RATE", "Stratum=0 (kiss code RATE); "},
      {0x24, 0, "DE\nY", "Stratum=0 (kiss code DE\\x0aY); "},
      {0x24, 16, "\0\0\0\0", "Stratum=16; "},
      {0x23, 2, "\0\0\0\0", "Mode=3; "},
      {0xE3, 0, "DENY", "LI=3 (unsynchronized); Stratum=0 (kiss code DENY); Mode=3; "},
  };
  for (const Case& c : cases) {
    NtpPacket p = good;
    p.bytes[0] = c.first;
    p.bytes[1] = c.stratum;
    std::memcpy(p.bytes + 12, c.ref, 4);
    Evaluation e = evaluate(p, at(0x10000000));
    EXPECT_FALSE(e.good) << c.reason;
    EXPECT_EQ(e.offsetMs, -7777) << c.reason;
    ASSERT_EQ(e.lines.size(), 2u) << c.reason;
    EXPECT_EQ(e.lines[0], std::string("Returning bad reference because: ") + c.reason);
    EXPECT_EQ(e.levels, (std::vector<int32_t>{Warning, Detail}));
    EXPECT_EQ(e.lines[1].rfind("T1 = c76b0235.00000000; T2 = ", 0), 0u) << e.lines[1];
  }

  // Header checks come before the zero check: one reason line, not two.
  NtpPacket both = reply(NtpTimestamp(), at(1), at(2));
  both.bytes[0] = 0xE4;
  Evaluation e = evaluate(both, at(3));
  ASSERT_EQ(e.lines.size(), 2u);
  EXPECT_EQ(e.lines[0], "Returning bad reference because: LI=3 (unsynchronized); ");

  // Broadcast replies, other versions and leap warnings 1 and 2 are fine.
  for (uint8_t first : {0x25, 0x1C, 0x64, 0xA4}) {
    NtpPacket p = good;
    p.bytes[0] = first;
    EXPECT_TRUE(evaluate(p, at(0x10000000)).good) << int(first);
  }
  NtpPacket top = good;
  top.bytes[1] = 15;
  EXPECT_TRUE(evaluate(top, at(0x10000000)).good);
}

TEST(EvaluateReply, EraBoundaryDoesNotDisturbTheArithmetic) {
  // The request left just before the 2036 wrap, the reply came after it.
  const NtpTimestamp t1 = NtpTimestamp::Make(0xFFFFFFFF, 0xF0000000);
  const NtpTimestamp t2 = NtpTimestamp::Make(0, 0x08000000);
  const NtpTimestamp t3 = NtpTimestamp::Make(0, 0x09000000);
  const NtpTimestamp t4 = NtpTimestamp::Make(0, 0x01000000);
  Evaluation e = evaluate(reply(t1, t2, t3), t4);
  EXPECT_TRUE(e.good);
  EXPECT_EQ(e.offsetMs, 62);  // B = 0.125 s
  EXPECT_EQ(e.roundTripMs, 62);
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
      {at(0), at(0x01000000, ahead), at(0x09000000, ahead), 4 * sixteenth, at(0x08000000)},
      {at(0), at(0x01000000, ahead), at(0x09000000, ahead), 8 * sixteenth, at(0x08000000)},
      // A server that took longer than the whole exchange: no earlier than now.
      {at(0), at(0x01000000, ahead), at(0x51000000, ahead), sixteenth, now},
      // No bound without T1, or from a server that answered before it was asked.
      {NtpTimestamp(), at(0x01000000, ahead), at(0x09000000, ahead), 8 * sixteenth,
       at(0xC0000000, S - 1)},
      {at(0), at(0x09000000, ahead), at(0x01000000, ahead), 8 * sixteenth, at(0xC0000000, S - 1)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ArrivalTime(now, c.ageNs, reply(c.t1, c.t2, c.t3)).ToText(), c.arrival.ToText())
        << c.ageNs << " " << c.t1.ToText() << " " << c.t3.ToText();
  }
}

}  // namespace
}  // namespace veltraw
