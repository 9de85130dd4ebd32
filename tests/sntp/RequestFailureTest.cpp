// Request series that fail, and replies that are no replies: whatever a
// server sends ends in a status and log lines.
#include <gtest/gtest.h>

#include <algorithm>

#include "SeriesRunner.h"
#include "sntp/RequestThread.h"
#include "tests/peers/Peers.h"

namespace veltraw::test {
namespace {

void ExpectFailedWithNothing(const SeriesOutcome& outcome) {
  ASSERT_TRUE(outcome.started);
  ASSERT_EQ(outcome.deliveries.size(), 1u);
  const NtpResult& r = outcome.result;
  EXPECT_EQ(r.status, Failed);
  EXPECT_EQ(r.offsetMs, 0);
  EXPECT_EQ(r.roundTripMs, 0);
  EXPECT_FALSE(r.hasPacket);
  EXPECT_TRUE(r.arrival.IsZero());
}

TEST(RequestFailure, NameThatDoesNotResolve) {
  CaptureSink log;
  // Rejected by the resolver's syntax check, so no query leaves the machine.
  const std::string host = "no..such..host";
  const SeriesOutcome outcome = RunSeries(host, 200, 2, 5);
  ExpectFailedWithNothing(outcome);
  EXPECT_EQ(outcome.result.host, host);
  EXPECT_EQ(outcome.result.tag, 5);
  const auto lines = log.lines;
  const auto at = [&](const std::string& text) {
    return std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
  };
  // The socket layer's own lines come first, then the series' own.
  const auto lookup = at("Unable to gethostbyname " + host);
  const auto address = at("Unable to determine address of " + host);
  const auto send = at("Unable to send SNTP packet to " + host);
  ASSERT_NE(send, lines.end()) << log.all();
  EXPECT_LT(lookup, address);
  EXPECT_LT(address, send);
  EXPECT_EQ(log.matching("Request ").size(), 1u) << "the first failed send ends the series";
}

TEST(RequestFailure, DatagramLongerThanAPacket) {
  CaptureSink log;
  const SeriesOutcome outcome = RunSeries(PeerHost(kLong68), 300, 3);
  ExpectFailedWithNothing(outcome);
  EXPECT_TRUE(
      log.contains("UDP/IP Error in request thread; UDPSocket::ReceiveFrom::recvfrom; "
                   "error 0x2738 (10040) socket terminated=true"))
      << log.all();
}

TEST(RequestBadInput, ShortReplyIsABadReferenceWithoutStaleBytes) {
  CaptureSink log;
  const std::string host = PeerHost(kShort20);
  const SeriesOutcome outcome = RunSeries(host, 300, 1);
  ASSERT_EQ(outcome.deliveries.size(), 1u);
  const NtpResult& r = outcome.result;
  EXPECT_EQ(r.status, BadReference);
  EXPECT_EQ(r.offsetMs, 0);
  EXPECT_EQ(r.roundTripMs, 0);
  EXPECT_TRUE(log.contains("Returning bad reference because: short reply (20 bytes)"));
  EXPECT_TRUE(log.contains("(bad time reference)"));
  ASSERT_TRUE(r.hasPacket);
  // Nothing of the request (its transmit time above all) shows through.
  for (int i = 20; i < NtpPacket::kSize; ++i) EXPECT_EQ(r.packet.bytes[i], 0) << "byte " << i;
}

TEST(RequestBadInput, EmptyDatagramIsNoReply) {
  CaptureSink log;
  const SeriesOutcome outcome = RunSeries(PeerHost(kEmpty), 300, 2);
  ASSERT_EQ(outcome.deliveries.size(), 1u);
  EXPECT_EQ(outcome.result.status, NoResponse);
  EXPECT_EQ(log.matching("recvfrom closed by remote side (count=0)").size(), 2u) << log.all();
}

TEST(RequestBadInput, ZeroAndOutOfRangeTimestampsAreBadReferences) {
  const struct {
    PeerOctet peer;
    const char* reason;
  } cases[] = {
      {kZeroReceiveTransmit, "Returning bad reference because: Receive = 0; Transmit = 0; "},
      {kThirtyDaysAhead, "Returning bad reference because: deltaT out of range (259"},
      {kKissOfDeath, "Returning bad reference because: LI=3 (unsynchronized); Stratum=0"},
  };
  for (const auto& c : cases) {
    CaptureSink log;
    const SeriesOutcome outcome = RunSeries(PeerHost(c.peer), 300, 1);
    ASSERT_EQ(outcome.deliveries.size(), 1u);
    EXPECT_EQ(outcome.result.status, BadReference) << PeerHost(c.peer);
    EXPECT_EQ(outcome.result.offsetMs, 0) << PeerHost(c.peer);
    EXPECT_TRUE(log.contains(c.reason)) << log.all();
  }
}

TEST(RequestBadInput, ReplyEchoingNoRequestIsIgnored) {
  CaptureSink log;
  const std::string host = PeerHost(kForgedThenReal);
  const SeriesOutcome outcome = RunSeries(host, 300, 1);
  ASSERT_EQ(outcome.deliveries.size(), 1u);
  EXPECT_EQ(outcome.result.status, Ok);
  EXPECT_NEAR(outcome.result.offsetMs, 0, OffsetSlack(outcome.result.roundTripMs, 0));
  EXPECT_TRUE(log.contains("Ignoring reply whose originate timestamp matches no request: " + host +
                           ":123 "))
      << log.all();
  EXPECT_EQ(log.matching("TIME PACKET").size(), 1u) << "the forged reply counts for nothing";
}

TEST(RequestBadInput, OnlyForgedRepliesWaitOutTheTimeout) {
  CaptureSink log;
  const SeriesOutcome outcome = RunSeries(PeerHost(kForgedOnly), 250, 1);
  ASSERT_EQ(outcome.deliveries.size(), 1u);
  EXPECT_EQ(outcome.result.status, NoResponse);
  EXPECT_EQ(log.matching("Ignoring reply whose originate").size(), 1u);
  // The rest of the timeout, not a fresh one and not none at all.
  EXPECT_GE(outcome.elapsed.count(), 250 - 20);
  EXPECT_LT(outcome.elapsed.count(), 250 + 1000);
}

TEST(RequestBadInput, AnyDatagramEndsInAStatus) {
  // Random lengths and contents; some echo the request, most do not.
  const SeriesOutcome outcome = RunSeries(PeerHost(kRandom), 60, 25);
  ASSERT_EQ(outcome.deliveries.size(), 1u);
  const NtpStatus status = outcome.result.status;
  EXPECT_TRUE(status == Ok || status == NoResponse || status == BadReference || status == Failed);
}

}  // namespace
}  // namespace veltraw::test
