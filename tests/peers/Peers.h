// Where the test peers of tests/peers/peers.sh listen. Each build has its own
// loopback block (VELTRAW_PEER_PREFIX, set by CTest) so that two builds can
// run their tests at the same time; the last octet selects the peer.
#pragma once

#include <cstdlib>
#include <string>

namespace veltraw::test {

// Last octets of the behaviours these tests ask; sntp_responder.py lists them
// all (the end-to-end cases use 52, 54, 55, 60 and 61 too).
enum PeerOctet : int {
  kChronyd = 30,              // chronyd -x, local stratum 8
  kGood = 31,                 // offset 0
  kAheadMs1234_567 = 32,      // server 1234.567 ms ahead
  kBehindMs456_789 = 33,      // server 456.789 ms behind
  kRoundTrips12_15_21 = 34,   // round trips of 12, 15 and 21 ms (and a half)
  kRoundTrips200_10_10 = 35,  // round trips of 200, 10 and 10 ms (and a half)
  kAlwaysSlow60 = 36,         // every round trip 60 ms (and a half)
  kSilent = 37,               // never answers
  kZeroOriginateThird = 38,   // two good replies 100 ms ahead, then one with originate 0
  kShort20 = 39,              // 20-byte datagrams
  kLong68 = 40,               // 68-byte datagrams
  kLate300 = 41,              // every reply 300 ms late
  kDuplicates = 42,           // every reply twice
  kForgedThenReal = 43,       // a reply echoing no request, then the real one
  kForgedOnly = 44,           // only a reply echoing no request
  kChosenFields = 45,         // LI 1, VN 3, stratum 15, reference "XFAK", 20 ms behind
  kAheadMs7 = 47,
  kEmpty = 48,             // empty datagrams
  kZeroReceiveThird = 50,  // two good replies 1000 ms ahead, then one with receive 0
};

inline std::string PeerPrefix() {
  const char* prefix = std::getenv("VELTRAW_PEER_PREFIX");
  return prefix && *prefix ? prefix : "127.0.0";
}

inline std::string PeerHost(PeerOctet octet) {
  return PeerPrefix() + "." + std::to_string(static_cast<int>(octet));
}

}  // namespace veltraw::test
