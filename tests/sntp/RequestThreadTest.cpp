// Request series against real peers: how replies become one result.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "SeriesRunner.h"
#include "sntp/RequestThread.h"
#include "tests/peers/Peers.h"

namespace veltraw::test {
namespace {

using std::chrono::milliseconds;

struct LoggedReply {
  int32_t delta;
  int32_t roundTrip;
  bool bad;
};

// The "TIME PACKET" lines of one host, in order.
std::vector<LoggedReply> LoggedReplies(CaptureSink& log, const std::string& host) {
  static const std::regex line(
      R"(TIME PACKET: Host=(\S+) \((\S+)\)  delta=(-?\d+) ms  roundtrip=(-?\d+) ms( \(bad time reference\))?$)");
  // Lines begin with the writing thread's id.
  std::vector<LoggedReply> replies;
  for (const auto& text : log.matching("TIME PACKET: Host=" + host + " ")) {
    std::smatch m;
    if (std::regex_search(text, m, line)) {
      replies.push_back({std::stoi(m[3]), std::stoi(m[4]), m[5].matched});
    } else {
      ADD_FAILURE() << "unexpected line: " << text;
    }
  }
  return replies;
}

int32_t Average(const std::vector<LoggedReply>& replies, int32_t LoggedReply::*field) {
  int64_t sum = 0;
  for (const auto& r : replies) sum += r.*field;
  return replies.empty() ? 0 : static_cast<int32_t>(sum / static_cast<int64_t>(replies.size()));
}

void ExpectOneDeliveryOffThisThread(const SeriesOutcome& outcome) {
  ASSERT_TRUE(outcome.started);
  ASSERT_EQ(outcome.deliveries.size(), 1u) << "the callback must run exactly once";
  EXPECT_NE(outcome.deliveries[0].thread, std::this_thread::get_id())
      << "the callback runs on the request thread";
}

class AutoLimits : public ::testing::Test {
 protected:
  void TearDown() override { SetAutoRequestLimits(20, 10); }
};

TEST(RequestSeries, AveragesThreeGoodReplies) {
  CaptureSink log;
  const std::string host = PeerHost(kRoundTrips12_15_21);
  const SeriesOutcome outcome = RunSeries(host, 300, 3, 7);
  ExpectOneDeliveryOffThisThread(outcome);
  const NtpResult& r = outcome.result;
  EXPECT_EQ(r.status, Ok);
  EXPECT_EQ(r.host, host);
  EXPECT_EQ(r.tag, 7);

  EXPECT_TRUE(log.contains("Requesting time from " + host));
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE(log.contains("Request " + std::to_string(i) + " of 3 to host " + host));
  }
  EXPECT_FALSE(log.contains("Request 4 of"));
  EXPECT_TRUE(log.contains("Sent Packet to " + host + ": LI=3 VN=4 Mode=3 Strat=0x00"));
  EXPECT_TRUE(log.contains("Received Packet from " + host + ":123: LI=0 VN=4 Mode=4"));

  const auto replies = LoggedReplies(log, host);
  ASSERT_EQ(replies.size(), 3u);
  const int32_t wanted[] = {12, 15, 21};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_FALSE(replies[i].bad);
    EXPECT_GE(replies[i].roundTrip, wanted[i]);
    EXPECT_LE(replies[i].roundTrip, wanted[i] + 50);
  }
  EXPECT_EQ(r.roundTripMs, Average(replies, &LoggedReply::roundTrip));
  EXPECT_EQ(r.offsetMs, Average(replies, &LoggedReply::delta));
  EXPECT_NEAR(r.offsetMs, 0, OffsetSlack(r.roundTripMs, 16));

  ASSERT_TRUE(r.hasPacket);
  EXPECT_EQ(r.packet.mode(), 4);
  EXPECT_FALSE(r.arrival.IsZero());
  // The packet is the last reply: it echoes the last request's time, which is
  // before the arrival and not long before it.
  const NtpTimestamp sent = r.packet.originateTimestamp();
  EXPECT_LT((r.arrival - sent).value(), NtpTimestamp::Make(1, 0).value());
}

TEST(RequestSeries, ReportsTheServersOffsetWithItsSign) {
  const struct {
    PeerOctet peer;
    int32_t offsetMs;
  } cases[] = {{kAheadMs1234_567, 1234}, {kBehindMs456_789, -456}, {kAheadMs7, 7}};
  for (const auto& c : cases) {
    const SeriesOutcome outcome = RunSeries(PeerHost(c.peer), 300, 1);
    ExpectOneDeliveryOffThisThread(outcome);
    EXPECT_EQ(outcome.result.status, Ok) << PeerHost(c.peer);
    EXPECT_NEAR(outcome.result.offsetMs, c.offsetMs, OffsetSlack(outcome.result.roundTripMs, 0))
        << PeerHost(c.peer);
  }
}

TEST(RequestSeries, ChronydAnswers) {
  const SeriesOutcome outcome = RunSeries(PeerHost(kChronyd), 1000, 2);
  ExpectOneDeliveryOffThisThread(outcome);
  const NtpResult& r = outcome.result;
  EXPECT_EQ(r.status, Ok);
  EXPECT_NEAR(r.offsetMs, 0, OffsetSlack(r.roundTripMs, 0));  // it serves this machine's clock
  EXPECT_LT(r.roundTripMs, 100);
  EXPECT_EQ(r.packet.stratum(), 8);
  EXPECT_EQ(r.packet.mode(), 4);
}

TEST(RequestSeries, HeaderFieldsAreHandedOverAsReceived) {
  const SeriesOutcome outcome = RunSeries(PeerHost(kChosenFields), 300, 1);
  ExpectOneDeliveryOffThisThread(outcome);
  const NtpResult& r = outcome.result;
  EXPECT_EQ(r.status, Ok);
  EXPECT_NEAR(r.offsetMs, -20, OffsetSlack(r.roundTripMs, 0));
  EXPECT_EQ(r.packet.leapIndicator(), 1);
  EXPECT_EQ(r.packet.versionNumber(), 3);
  EXPECT_EQ(r.packet.stratum(), 15);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.packet.referenceId()), 4), "XFAK");
  EXPECT_EQ(r.packet.poll(), 6);
  EXPECT_EQ(r.packet.precision(), -20);
}

TEST_F(AutoLimits, StopsOnceTheAverageRoundTripIsWithinTheThreshold) {
  CaptureSink log;
  SetAutoRequestLimits(100, 10);
  const std::string host = PeerHost(kRoundTrips200_10_10);
  const SeriesOutcome outcome = RunSeries(host, 300, 0);
  ExpectOneDeliveryOffThisThread(outcome);
  EXPECT_EQ(outcome.result.status, Ok);
  // 200 alone and (200 + 10) / 2 are too slow; (200 + 10 + 10) / 3 = 73 is
  // not, with room for a loaded machine.
  EXPECT_EQ(log.matching("Request ").size(), 3u) << log.all();
  EXPECT_TRUE(log.contains("Request 1 of auto (upper limit AutoMaxRequests = 10) to host " + host));
  const auto replies = LoggedReplies(log, host);
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(outcome.result.roundTripMs, Average(replies, &LoggedReply::roundTrip));
  EXPECT_EQ(log.matching("Require more packets to stabilize round-trip time (ave=").size(), 2u);
  EXPECT_TRUE(log.contains("< AutoRoundTripThreshold=100)..."));
  EXPECT_TRUE(log.contains(
      "Automatic requests: average round-trip = " + std::to_string(outcome.result.roundTripMs) +
      " ms; number of requests = 3"));
}

TEST_F(AutoLimits, FirstFastReplyEndsTheSeries) {
  CaptureSink log;
  const std::string host = PeerHost(kGood);
  const SeriesOutcome outcome = RunSeries(host, 300, 0);
  EXPECT_EQ(outcome.result.status, Ok);
  EXPECT_EQ(log.matching("Request ").size(), 1u);
  EXPECT_TRUE(log.contains("; number of requests = 1"));
}

TEST_F(AutoLimits, SlowServerGetsAtMostTheUpperLimit) {
  CaptureSink log;
  SetAutoRequestLimits(20, 4);
  const std::string host = PeerHost(kAlwaysSlow60);
  const SeriesOutcome outcome = RunSeries(host, 300, 0);
  ExpectOneDeliveryOffThisThread(outcome);
  EXPECT_EQ(outcome.result.status, Ok);
  EXPECT_EQ(log.matching("Request ").size(), 4u);
  EXPECT_TRUE(log.contains("Request 4 of auto (upper limit AutoMaxRequests = 4)"));
  EXPECT_FALSE(log.contains("Automatic requests:"));
  const auto replies = LoggedReplies(log, host);
  ASSERT_EQ(replies.size(), 4u);
  EXPECT_EQ(outcome.result.roundTripMs, Average(replies, &LoggedReply::roundTrip));
  EXPECT_GE(outcome.result.roundTripMs, 60);
}

TEST(RequestSeries, SilentServerGivesNoResponseAfterEveryTimeout) {
  const SeriesOutcome outcome = RunSeries(PeerHost(kSilent), 200, 2, 3);
  ExpectOneDeliveryOffThisThread(outcome);
  const NtpResult& r = outcome.result;
  EXPECT_EQ(r.status, NoResponse);
  EXPECT_EQ(r.tag, 3);
  EXPECT_EQ(r.offsetMs, 0);
  EXPECT_EQ(r.roundTripMs, 0);
  EXPECT_FALSE(r.hasPacket);
  EXPECT_TRUE(r.arrival.IsZero());
  EXPECT_GE(outcome.elapsed.count(), 2 * 200 - 20);
  EXPECT_LT(outcome.elapsed.count(), 2 * 200 + 1500);
}

TEST(RequestSeries, RefusedRequestsEndLongBeforeTheTimeout) {
  CaptureSink log;
  const SeriesOutcome outcome = RunSeries(PeerHost(kRefused), 1500, 3);
  ExpectOneDeliveryOffThisThread(outcome);
  EXPECT_EQ(outcome.result.status, NoResponse);
  // Windows and Linux wake the waiting receive at once. Wine tells a receive
  // that is already waiting nothing, so there the first request sits out its
  // timeout; the later ones still end at once.
  EXPECT_LT(outcome.elapsed.count(), 2 * 1500);
  EXPECT_EQ(log.matching("Request ").size(), 3u);
  EXPECT_GE(
      log.matching("recvfrom detected previous sendto packet failed to reach host (ECONNRESET)")
          .size(),
      2u);
}

TEST(RequestSeries, LastReplyBadAfterGoodOnesIsABadReference) {
  CaptureSink log;
  const std::string host = PeerHost(kZeroOriginateThird);
  const SeriesOutcome outcome = RunSeries(host, 300, 3);
  ExpectOneDeliveryOffThisThread(outcome);
  const NtpResult& r = outcome.result;
  EXPECT_EQ(r.status, BadReference);
  ASSERT_TRUE(r.hasPacket);
  EXPECT_TRUE(r.packet.originateTimestamp().IsZero()) << "the packet is the last, bad reply";
  EXPECT_TRUE(log.contains("Returning bad reference because: Originate = 0; "));
  const auto replies = LoggedReplies(log, host);
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_FALSE(replies[0].bad);
  EXPECT_FALSE(replies[1].bad);
  EXPECT_TRUE(replies[2].bad);
  // The bad reply has no offset of its own and must not pull the average.
  EXPECT_NEAR(r.offsetMs, 100, OffsetSlack(r.roundTripMs, 0));
  EXPECT_EQ(r.offsetMs, (replies[0].delta + replies[1].delta) / 2);
}

TEST(RequestSeries, BadReplyDoesNotDragTheAverages) {
  // Two replies 1000 ms ahead, then one without a receive timestamp.
  const SeriesOutcome outcome = RunSeries(PeerHost(kZeroReceiveThird), 300, 3);
  ExpectOneDeliveryOffThisThread(outcome);
  EXPECT_EQ(outcome.result.status, BadReference);
  EXPECT_NEAR(outcome.result.offsetMs, 1000, OffsetSlack(outcome.result.roundTripMs, 10));
  EXPECT_GE(outcome.result.roundTripMs, 10);
  EXPECT_LE(outcome.result.roundTripMs, 60);
}

TEST(RequestSeries, SeveralSeriesAtOnceEachGetTheirOwnResult) {
  const struct {
    PeerOctet peer;
    NtpStatus status;
    int32_t offsetMs;
  } servers[] = {{kChronyd, Ok, 0},
                 {kGood, Ok, 0},
                 {kAheadMs1234_567, Ok, 1234},
                 {kBehindMs456_789, Ok, -456},
                 {kAheadMs7, Ok, 7},
                 {kSilent, NoResponse, 0},
                 {kKissOfDeath, BadReference, 0},
                 {kChosenFields, Ok, -20}};
  const int32_t count = static_cast<int32_t>(std::size(servers));
  auto* collector = new Collector;
  for (int32_t tag = 0; tag < count; ++tag) {
    ASSERT_TRUE(StartRequestThread(collector, PeerHost(servers[tag].peer), &Collector::Callback,
                                   tag, 300, 2));
  }
  ASSERT_TRUE(collector->WaitFor(count, std::chrono::seconds(30)));
  collector->WaitFor(count + 1, milliseconds(50));
  const auto deliveries = collector->Deliveries();
  ASSERT_EQ(deliveries.size(), static_cast<size_t>(count));
  std::set<int32_t> tags;
  std::set<std::thread::id> threads;
  for (const auto& d : deliveries) {
    const int32_t tag = d.result.tag;
    ASSERT_GE(tag, 0);
    ASSERT_LT(tag, count);
    tags.insert(tag);
    threads.insert(d.thread);
    EXPECT_EQ(d.result.host, PeerHost(servers[tag].peer));
    EXPECT_EQ(d.result.status, servers[tag].status) << d.result.host;
    EXPECT_NEAR(d.result.offsetMs, servers[tag].offsetMs, OffsetSlack(d.result.roundTripMs, 0))
        << d.result.host;
  }
  EXPECT_EQ(tags.size(), static_cast<size_t>(count));
  EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
  delete collector;
}

TEST(RequestSeries, LateReplyToAnEarlierRequestStillCounts) {
  CaptureSink log;
  const std::string host = PeerHost(kLate300);
  // Request 1 gives up after 200 ms; its reply, 300 ms late, answers request 2.
  const SeriesOutcome outcome = RunSeries(host, 200, 2);
  ExpectOneDeliveryOffThisThread(outcome);
  EXPECT_EQ(outcome.result.status, Ok);
  EXPECT_FALSE(log.contains("Ignoring reply"));
  const auto replies = LoggedReplies(log, host);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_GE(outcome.result.roundTripMs, 280) << "measured from the first request";
  EXPECT_LT(outcome.result.roundTripMs, 1000);
}

TEST(RequestSeries, DuplicateReplyCountsAsTheNextReply) {
  CaptureSink log;
  const std::string host = PeerHost(kDuplicates);
  const SeriesOutcome outcome = RunSeries(host, 300, 2);
  ExpectOneDeliveryOffThisThread(outcome);
  EXPECT_EQ(outcome.result.status, Ok);
  EXPECT_EQ(LoggedReplies(log, host).size(), 2u);
  EXPECT_FALSE(log.contains("Ignoring reply"));
}

}  // namespace
}  // namespace veltraw::test
