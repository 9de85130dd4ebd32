// Request series against real peers (chronyd and the project's responder on
// loopback): how replies, silence, failures and strange datagrams become one
// result, delivered exactly once on the request thread.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "sntp/RequestThread.h"
#include "support/CaptureSink.h"
#include "tests/peers/Peers.h"

namespace veltraw::test {
namespace {

using std::chrono::milliseconds;

// Runs series at once, each on a thread of the test's own, to their ends:
// every result that came, in the order it came. A second callback of a series
// shows however late it comes, and no series outlives its test.
std::vector<NtpResult> runAll(const std::vector<RequestArgs>& series) {
  struct Results {
    std::mutex lock;
    std::vector<NtpResult> all;
  } results;
  std::vector<std::thread> threads;
  for (const RequestArgs& described : series) {
    auto* args = new RequestArgs(described);  // the thread releases it
    args->context = &results;
    args->callback = [](void* context, const NtpResult& r) {
      auto* to = static_cast<Results*>(context);
      std::lock_guard<std::mutex> hold(to->lock);
      to->all.push_back(r);
    };
    threads.emplace_back(RequestThreadProcedure, args);
  }
  for (std::thread& thread : threads) thread.join();
  return results.all;
}

RequestArgs argsFor(const std::string& host, int32_t timeoutMs, int32_t count, int32_t tag = 0) {
  RequestArgs args;
  args.host = host;
  args.tag = tag;
  args.timeoutMs = timeoutMs;
  args.requestCount = count;
  return args;
}

struct Series {
  NtpResult result;
  milliseconds elapsed{0};  // from the start to the thread's end
};

// Runs one series and checks that its callback came exactly once.
Series run(const std::string& host, int32_t timeoutMs, int32_t count, int32_t tag = 0) {
  const auto start = std::chrono::steady_clock::now();
  const std::vector<NtpResult> results = runAll({argsFor(host, timeoutMs, count, tag)});
  Series one;
  one.elapsed = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
  if (results.size() != 1) {
    ADD_FAILURE() << results.size() << " results from " << host;
    return one;
  }
  one.result = results[0];
  EXPECT_EQ(one.result.host, host);
  EXPECT_EQ(one.result.tag, tag);
  return one;
}

// How far a measured offset may lie from the responder's chosen one: half the
// time the exchange really spent on its way, plus the truncation to whole ms.
// fakeDelayMs is the part of the round trip the responder only pretends.
int32_t slack(const NtpResult& r, int32_t fakeDelayMs = 0) {
  return std::max(0, r.roundTripMs - fakeDelayMs) / 2 + 2;
}

struct LoggedReply {
  int32_t delta, roundTrip;
  bool bad;
};

// The "TIME PACKET" lines of one host, in order.
std::vector<LoggedReply> loggedReplies(const CaptureSink& log, const std::string& host) {
  static const std::regex line(
      R"(TIME PACKET: Host=\S+ \(\S+\)  delta=(-?\d+) ms  roundtrip=(-?\d+) ms( \(bad time reference\))?$)");
  std::vector<LoggedReply> replies;
  for (const auto& text : log.matching("TIME PACKET: Host=" + host + " ")) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(text, m, line)) << text;
    replies.push_back({std::stoi(m[1]), std::stoi(m[2]), m[3].matched});
  }
  return replies;
}

int32_t averageRoundTrip(const std::vector<LoggedReply>& replies) {
  int64_t sum = 0;
  for (const auto& r : replies) sum += r.roundTrip;
  return replies.empty() ? 0 : static_cast<int32_t>(sum / static_cast<int64_t>(replies.size()));
}

TEST(RequestSeries, AveragesEveryReplyAndHandsOverTheLastAsReceived) {
  CaptureSink log;
  const std::string host = PeerHost(kRoundTrips12_15_21);
  const NtpResult r = run(host, 300, 3, 7).result;
  EXPECT_EQ(r.status, Ok);
  EXPECT_EQ(log.matching("Request ").size(), 3u);
  EXPECT_TRUE(log.contains("Request 3 of 3 to host " + host));
  EXPECT_TRUE(log.contains("Sent Packet to " + host + ": LI=3 VN=4 Mode=3 Strat=0x00"));
  EXPECT_TRUE(log.contains("Received Packet from " + host + ":123: LI=0 VN=4 Mode=4"));
  const auto replies = loggedReplies(log, host);
  ASSERT_EQ(replies.size(), 3u);
  // Each reply's own faked delay; the arithmetic itself is the evaluation's.
  const int32_t faked[] = {12, 15, 21};
  for (size_t i = 0; i < 3; ++i) EXPECT_GE(replies[i].roundTrip, faked[i]);
  EXPECT_EQ(r.roundTripMs, averageRoundTrip(replies));
  EXPECT_NEAR(r.offsetMs, 0, slack(r, 16));
  ASSERT_TRUE(r.hasPacket);
  // The packet is the last reply: it echoes the last request, shortly before
  // the arrival handed over with it.
  EXPECT_LT((r.arrival - r.packet.originateTimestamp()).value(), NtpTimestamp::Make(1, 0).value());
}

// Series of several servers at once, each on its own thread (also under
// ThreadSanitizer): every result is its own server's, with the offset's sign
// and the header fields untouched.
TEST(RequestSeries, SeveralServersAtOnceEachGetTheirOwnResult) {
  const struct {
    PeerOctet peer;
    NtpStatus status;
    int32_t offsetMs;
    int stratum;
  } servers[] = {{kChronyd, Ok, 0, 8},
                 {kAheadMs1234_567, Ok, 1234, 2},
                 {kBehindMs456_789, Ok, -456, 2},
                 {kAheadMs7, Ok, 7, 2},
                 {kChosenFields, Ok, -20, 15}};
  const size_t count = std::size(servers);
  std::vector<RequestArgs> all;
  for (size_t tag = 0; tag < count; ++tag) {
    all.push_back(argsFor(PeerHost(servers[tag].peer), 300, 2, static_cast<int32_t>(tag)));
  }
  const std::vector<NtpResult> results = runAll(all);
  ASSERT_EQ(results.size(), count);
  std::set<int32_t> tags;
  for (const NtpResult& r : results) {
    ASSERT_TRUE(r.tag >= 0 && size_t(r.tag) < count);
    const auto& server = servers[r.tag];
    tags.insert(r.tag);
    EXPECT_EQ(r.host, PeerHost(server.peer));
    EXPECT_EQ(r.status, server.status) << r.host;
    EXPECT_NEAR(r.offsetMs, server.offsetMs, slack(r)) << r.host;
    EXPECT_EQ(r.packet.stratum(), server.stratum) << r.host;
    if (server.peer != kChosenFields) continue;
    EXPECT_EQ(r.packet.leapIndicator(), 1);
    EXPECT_EQ(r.packet.versionNumber(), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.packet.referenceId()), 4), "XFAK");
  }
  EXPECT_EQ(tags.size(), count);
}

TEST(RequestSeries, AutomaticSeriesStopOnceTheAverageRoundTripIsWithinTheThresholdOrAtTheLimit) {
  const struct {
    PeerOctet peer;
    int32_t threshold, maxRequests;
    size_t requests;
  } cases[] = {
      {kGood, 20, 10, 1},  // the first fast reply ends it
      // 200 alone and (200 + 10) / 2 are too slow; (200 + 10 + 10) / 3 is not.
      {kRoundTrips200_10_10, 100, 10, 3},
      {kAlwaysSlow60, 20, 4, 4},  // never fast enough: the upper limit
  };
  for (const auto& c : cases) {
    CaptureSink log;
    SetAutoRequestLimits(c.threshold, c.maxRequests);
    const std::string host = PeerHost(c.peer);
    const NtpResult r = run(host, 300, 0).result;
    EXPECT_EQ(r.status, Ok);
    EXPECT_EQ(log.matching("Request ").size(), c.requests) << log.all();
    EXPECT_TRUE(log.contains("Request 1 of auto (upper limit AutoMaxRequests = " +
                             std::to_string(c.maxRequests) + ") to host " + host));
    EXPECT_EQ(r.roundTripMs, averageRoundTrip(loggedReplies(log, host)));
    EXPECT_EQ(
        log.contains("Automatic requests: average round-trip = " + std::to_string(r.roundTripMs) +
                     " ms; number of requests = " + std::to_string(c.requests)),
        c.requests < static_cast<size_t>(c.maxRequests));
  }
  SetAutoRequestLimits(20, 10);
}

// A bad last reply makes the series a bad reference, but only good replies
// count in the averages: a bad one has no offset of its own.
TEST(RequestSeries, LastReplyBadAfterGoodOnesIsABadReferenceWithGoodAverages) {
  const struct {
    PeerOctet peer;
    int32_t offsetMs, fakeDelayMs;
  } cases[] = {{kZeroOriginateThird, 100, 0}, {kZeroReceiveThird, 1000, 10}};
  for (const auto& c : cases) {
    CaptureSink log;
    const std::string host = PeerHost(c.peer);
    const NtpResult r = run(host, 300, 3).result;
    EXPECT_EQ(r.status, BadReference);
    ASSERT_TRUE(r.hasPacket);
    const auto replies = loggedReplies(log, host);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_TRUE(!replies[0].bad && !replies[1].bad && replies[2].bad);
    EXPECT_EQ(r.offsetMs, (replies[0].delta + replies[1].delta) / 2);
    EXPECT_NEAR(r.offsetMs, c.offsetMs, slack(r, c.fakeDelayMs)) << host;
  }
}

// A reply is taken only when it echoes the request being waited for, and
// once: a late reply to an earlier request, a second copy and one that echoes
// nothing are ignored alike, and the wait goes on for the rest of the timeout.
TEST(RequestSeries, RepliesAreMatchedToTheSeriesRequests) {
  const struct {
    PeerOctet peer;
    int32_t timeoutMs, count;
    NtpStatus status;
    size_t replies, ignored;
  } cases[] = {{kLate300, 200, 2, NoResponse, 0, 1},
               {kDuplicates, 300, 2, Ok, 2, 1},
               {kForgedThenReal, 300, 1, Ok, 1, 1},
               {kForgedOnly, 250, 1, NoResponse, 0, 1}};
  for (const auto& c : cases) {
    CaptureSink log;
    const std::string host = PeerHost(c.peer);
    const Series series = run(host, c.timeoutMs, c.count);
    EXPECT_EQ(series.result.status, c.status) << host;
    EXPECT_EQ(loggedReplies(log, host).size(), c.replies) << host;
    EXPECT_EQ(series.result.goodReplies, static_cast<int32_t>(c.replies)) << host;
    EXPECT_EQ(log.matching("Ignoring reply whose originate timestamp matches no request: " + host +
                           ":123 ")
                  .size(),
              c.ignored)
        << log.all();
    if (c.peer == kForgedOnly) {
      EXPECT_GE(series.elapsed.count(), c.timeoutMs - 20);
    }
  }
}

// Whatever a server sends, or if it stays silent, the series ends in a status
// and its reasons are in the log; a failure carries nothing of the replies
// before it.
TEST(RequestSeries, SilenceStrangeDatagramsAndFailuresEndInAStatus) {
  const struct {
    std::string host;
    int32_t count;
    NtpStatus status;
    std::string logged;
    size_t times = 1;
  } cases[] = {
      {PeerHost(kSilent), 2, NoResponse, "No response from " + PeerHost(kSilent) + " after 2"},
      {PeerHost(kEmpty), 2, NoResponse, "recvfrom closed by remote side (count=0)", 2},
      // Rejected by the resolver's syntax check: no query leaves the machine.
      {"no..such..host", 2, Failed, "Unable to send SNTP packet to no..such..host"},
      {PeerHost(kLong68), 2, Failed,
       "UDP/IP Error in request thread; UDPSocket::ReceiveFrom::recvfrom; error 0x2738 (10040) "
       "socket terminated=true"},
      {PeerHost(kShort20), 1, BadReference,
       "Returning bad reference because: short reply (20 bytes)"},
  };
  for (const auto& c : cases) {
    CaptureSink log;
    const Series series = run(c.host, 300, c.count);
    const NtpResult& r = series.result;
    EXPECT_EQ(r.status, c.status) << c.host;
    EXPECT_EQ(r.offsetMs, 0) << c.host;
    EXPECT_EQ(log.matching(c.logged).size(), c.times) << log.all();
    if (c.status != BadReference) {
      EXPECT_FALSE(r.hasPacket);
    }
    if (c.status == Failed) {
      EXPECT_EQ(log.matching("Request ").size(), 1u) << "the first failure ends the series";
    }
    if (c.host == PeerHost(kSilent)) {
      EXPECT_EQ(log.levelOf(c.logged), Warning);
      EXPECT_TRUE(r.arrival.IsZero());
      EXPECT_GE(series.elapsed.count(), 2 * 300 - 20);
    }
    if (c.host == PeerHost(kShort20)) {
      // Nothing of the request (its transmit time above all) shows through.
      for (int i = 20; i < NtpPacket::kSize; ++i) EXPECT_EQ(r.packet.bytes[i], 0) << i;
    }
  }
}

// A server with several addresses: each waits for an equal part of what is
// left of the request's timeout, the last for all of it; a refused one hands
// its time on; the waits never add up to more than the timeout.
TEST(RequestSeries, EachAddressWaitsForItsShareOfTheTimeout) {
  const int32_t cases[][5] = {
      // timeout, spent, index, count: wait
      {2500, 0, 0, 1, 2500},     // one address: the whole timeout
      {2500, 3, 0, 2, 1248},     // the first of two: half of what is left
      {2500, 1251, 1, 2, 1249},  // the second after a silent (or refused) first: the rest
      {900, 300, 1, 3, 300},     // a middle one: its part of what is left
      {150, 160, 1, 2, 1},       // overrun: still one look
      {0, 0, 0, 2, 0},           // no timeout: each waits for ever
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AddressWaitMs(c[0], c[1], size_t(c[2]), size_t(c[3])), c[4])
        << c[0] << " " << c[1] << " " << c[2] << "/" << c[3];
  }
}

}  // namespace
}  // namespace veltraw::test
