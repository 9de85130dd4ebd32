// UDP sockets over loopback only: a peer socket of the test's own plays the
// server. What a server can do to a client is tried on both loopbacks.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "LIB/Net/UDPSocket.h"
#include "net/Loopback.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

using test::CaptureSink;
using test::FamilyOf;
using test::OnLoopback;
using test::SenderText;

const char* const kLoopback = "127.0.0.1";

// The server side: bound, answering whoever wrote last.
struct Peer {
  explicit Peer(const std::string& host = kLoopback) : socket(0) {
    port = test::BindSomewhere(socket, host);
    socket.SetTimeout(5000);
  }
  std::vector<uint8_t> Receive() {
    std::vector<uint8_t> data(2048);
    int32_t length = 0;
    char from[64];
    if (!socket.ReceiveFrom(from, sizeof from, data.data(), 2048, length)) return {};
    data.resize(static_cast<size_t>(length));
    return data;
  }
  bool Reply(const std::vector<uint8_t>& data) {
    return socket.SendToAddress(socket.From(), data.data(), static_cast<int32_t>(data.size()));
  }
  UDPSocket socket;
  uint16_t port = 0;
};

// The entries without their thread label.
std::vector<std::string> Messages(const CaptureSink& sink) {
  std::vector<std::string> messages;
  for (const auto& line : sink.lines) {
    const size_t label = line.find(">: ");
    messages.push_back(label == std::string::npos ? line : line.substr(label + 3));
  }
  return messages;
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

TEST(IPSocket, AddressesAndErrorTexts) {
  SocketAddress address;
  address.family = AddressFamily::IPv4;
  const uint8_t bytes[4] = {0x0A, 0x00, 0x00, 0x01};
  std::memcpy(address.address, bytes, 4);
  address.port[1] = 0x7B;
  EXPECT_EQ(IPSocket::AddressText(address), "10.0.0.1:123");
  address.family = AddressFamily::IPv6;
  const uint8_t linkLocal[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  std::memcpy(address.address, linkLocal, 16);
  address.scopeId = 3;
  EXPECT_EQ(IPSocket::AddressText(address), "[fe80::1%3]:123");

  const IPException error("UDPSocket::ReceiveFrom::recvfrom", wsa::kConnectionReset);
  EXPECT_STREQ(error.what(), "UDPSocket::ReceiveFrom::recvfrom; error 0x2746 (10054)");
  EXPECT_EQ(error.errorCode, 10054);
}

// A host as typed, through the resolver (numeric: nothing is asked of any
// name server) to the text that the log shows for an address.
TEST(IPSocket, TypedAddressesResolveToTheirShortText) {
  const struct {
    const char* host;
    const char* text;  // nullptr: does not resolve
  } cases[] = {
      {"127.0.0.2", "127.0.0.2:20123"},
      {"::1", "[::1]:20123"},
      {"[::1]", "[::1]:20123"},
      {"[2001:DB8:0:0:0:0:0:1]", "[2001:db8::1]:20123"},
      {"2001:db8:0:1:1:1:1:1", "[2001:db8:0:1:1:1:1:1]:20123"},  // one zero group stays
      {"2001:0:0:1:0:0:0:1", "[2001:0:0:1::1]:20123"},           // the longest run
      {"2001:db8:0:0:1:0:0:1", "[2001:db8::1:0:0:1]:20123"},     // the first of equal runs
      {"1:0:0:0:0:0:0:0", "[1::]:20123"},
      {"::", "[::]:20123"},
      {"::ffff:10.0.0.1", "[::ffff:10.0.0.1]:20123"},
      {"[::1", nullptr},
  };
  UDPSocket socket(0);
  for (const auto& c : cases) {
    CaptureSink sink;
    SocketAddress address;
    EXPECT_EQ(socket.Resolve(c.host, address, 20123), c.text != nullptr) << c.host;
    if (c.text == nullptr) {
      EXPECT_EQ(Messages(sink),
                std::vector<std::string>{std::string("Unable to gethostbyname ") + c.host});
      continue;
    }
    EXPECT_EQ(address.family, FamilyOf(c.host)) << c.host;
    EXPECT_EQ(IPSocket::AddressText(address), c.text);
  }
}

INSTANTIATE_TEST_SUITE_P(Both, OnLoopback, ::testing::Values("127.0.0.1", "::1"),
                         [](const auto& info) {
                           return FamilyOf(info.param) == AddressFamily::IPv6 ? "IPv6" : "IPv4";
                         });

TEST_P(OnLoopback, ConnectedExchangeTakesOnlyTheServersDatagrams) {
  const std::string loopback = Loopback();
  Peer peer(loopback);
  UDPSocket client(loopback, peer.port);
  ASSERT_TRUE(client.IsOpen());
  ASSERT_TRUE(client.Open(false));
  client.SetTimeout(5000);

  std::vector<uint8_t> request(48);
  for (size_t i = 0; i < request.size(); ++i) request[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(client.SendTo(loopback, request.data(), 48));
  EXPECT_EQ(peer.Receive(), request);

  // A stranger writing to the client's port is not the server.
  UDPSocket stranger(0);
  ASSERT_TRUE(stranger.Open(false, FamilyOf(loopback)));
  const uint8_t junk[48] = {0xFF};
  ASSERT_TRUE(stranger.SendToAddress(peer.socket.From(), junk, 48));

  std::vector<uint8_t> reply(request.rbegin(), request.rend());
  ASSERT_TRUE(peer.Reply(reply));
  uint8_t buffer[48] = {};
  int32_t length = 0;
  char from[256];
  ASSERT_TRUE(client.ReceiveFrom(from, sizeof from, buffer, 48, length));
  EXPECT_EQ(length, 48);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 48), reply);
  EXPECT_EQ(std::string(from), SenderText(loopback, peer.port));

  // The sender's text is cut to the room given.
  ASSERT_TRUE(peer.Reply(request));
  char shortFrom[5];
  ASSERT_TRUE(client.ReceiveFrom(shortFrom, sizeof shortFrom, buffer, 48, length));
  EXPECT_EQ(std::string(shortFrom), SenderText(loopback, peer.port).substr(0, 4));
  EXPECT_FALSE(client.Terminated());
}

TEST_P(OnLoopback, SilentServerTimesOutWithoutALogEntry) {
  Peer peer(Loopback());
  UDPSocket client(Loopback(), peer.port);
  client.SetTimeout(300);
  const uint8_t request[48] = {0xE3};
  ASSERT_TRUE(client.SendTo(Loopback(), request, 48));

  CaptureSink sink;
  uint8_t buffer[48];
  int32_t length = -1;
  char from[256] = "stale";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.ReceiveFrom(from, sizeof from, buffer, 48, length));
  const double waited = MillisecondsSince(start);
  EXPECT_GE(waited, 250.0);
  EXPECT_LT(waited, 3000.0);
  EXPECT_EQ(length, -1);
  EXPECT_STREQ(from, "");
  EXPECT_EQ(sink.lines, std::vector<std::string>());
  EXPECT_FALSE(client.Terminated());
}

TEST_P(OnLoopback, RefusedRequestFailsLongBeforeTheTimeout) {
  uint16_t closedPort;
  {
    Peer gone(Loopback());  // bound and released again: nobody listens there now
    closedPort = gone.port;
  }
  UDPSocket client(Loopback(), closedPort);
  client.SetTimeout(1500);
  const uint8_t request[48] = {0xE3};
  // Two requests: Wine passes the refusal on only from the second receive on
  // (the first waits for its timeout); Windows and Linux report both at once.
  for (int round = 1; round <= 2; ++round) {
    ASSERT_TRUE(client.SendTo(Loopback(), request, 48));
    CaptureSink sink;
    uint8_t buffer[48];
    int32_t length = 0;
    char from[256];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.ReceiveFrom(from, sizeof from, buffer, 48, length));
    if (round == 1 && sink.lines.empty()) continue;
    EXPECT_LT(MillisecondsSince(start), 1000.0);
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(Messages(sink)[0],
              "recvfrom detected previous sendto packet failed to reach host (ECONNRESET)");
    EXPECT_EQ(sink.levels[0], Detail);
  }
  EXPECT_FALSE(client.Terminated());
}

// Whatever a server sends ends in a result: a datagram, nothing, or an
// exception that the request series turns into a status.
TEST_P(OnLoopback, EveryDatagramLengthEndsInAResult) {
  Peer peer(Loopback());
  UDPSocket client(Loopback(), peer.port);
  client.SetTimeout(5000);
  const uint8_t hello[48] = {0xE3};
  ASSERT_TRUE(client.SendTo(Loopback(), hello, 48));
  ASSERT_EQ(peer.Receive().size(), 48u);

  std::mt19937 random(48);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 100; ++n) lengths.push_back(n);
  lengths.insert(lengths.end(), {512, 1472, 9000});
  for (size_t n : lengths) {
    std::vector<uint8_t> datagram(n);
    for (auto& byte : datagram) byte = static_cast<uint8_t>(random());
    ASSERT_TRUE(peer.Reply(datagram)) << n;

    CaptureSink sink;
    uint8_t buffer[48 + 4];
    std::memset(buffer, 0xA5, sizeof buffer);
    int32_t length = -1;
    char from[256];
    if (n == 0) {
      EXPECT_FALSE(client.ReceiveFrom(from, sizeof from, buffer, 48, length));
      ASSERT_EQ(sink.lines.size(), 1u);
      EXPECT_EQ(Messages(sink)[0], "recvfrom closed by remote side (count=0)");
    } else if (n <= 48) {
      ASSERT_TRUE(client.ReceiveFrom(from, sizeof from, buffer, 48, length)) << n;
      EXPECT_EQ(length, static_cast<int32_t>(n));
      EXPECT_EQ(std::memcmp(buffer, datagram.data(), n), 0) << n;
      EXPECT_TRUE(sink.lines.empty());
    } else {
      try {
        client.ReceiveFrom(from, sizeof from, buffer, 48, length);
        ADD_FAILURE() << "a datagram of " << n << " bytes was taken";
      } catch (const IPException& error) {
        EXPECT_EQ(error.errorCode, wsa::kMessageSize);
        EXPECT_STREQ(error.what(), "UDPSocket::ReceiveFrom::recvfrom; error 0x2738 (10040)");
      }
      EXPECT_TRUE(client.Terminated());
    }
    // Never a byte beyond the buffer given.
    EXPECT_EQ(buffer[48], 0xA5) << n;
  }
}

TEST(UDPSocket, UnresolvableHostLeavesAnUnconnectedSocketAndSendFails) {
  // A label longer than 63 characters cannot be put into a name query, so the
  // resolver gives up without asking anyone.
  const std::string host = std::string(70, 'x') + ".invalid";
  CaptureSink sink;
  UDPSocket client(host, 123);
  EXPECT_FALSE(client.IsOpen());
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_EQ(Messages(sink)[0], "Unable to gethostbyname " + host);
  EXPECT_EQ(sink.levels[0], Severe);

  ASSERT_TRUE(client.Open(false));
  const uint8_t request[48] = {0xE3};
  EXPECT_FALSE(client.SendTo(host, request, 48));
  ASSERT_EQ(sink.lines.size(), 3u);
  EXPECT_EQ(Messages(sink)[1], "Unable to gethostbyname " + host);
  EXPECT_EQ(Messages(sink)[2], "Unable to determine address of " + host);
  EXPECT_EQ(sink.levels[2], Warning);
}

TEST(MulticastUDPSocket, KeepsOnlyAMulticastGroupAndStaysUsable) {
  CaptureSink sink;
  MulticastUDPSocket group("224.0.1.1", 123);
  EXPECT_TRUE(sink.lines.empty());
  EXPECT_EQ(IPSocket::AddressText(group.Group()), "224.0.1.1:123");

  MulticastUDPSocket unicast("10.0.0.1", 123);
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_EQ(Messages(sink)[0], "Given addr is not multicast: 10.0.0.1 = 0x0100000a");
  EXPECT_EQ(sink.levels[0], Error);
  EXPECT_EQ(unicast.Group().family, AddressFamily::None);
  EXPECT_EQ(IPSocket::AddressText(unicast.Group()), "0.0.0.0:0");
  // No socket yet, and Open makes an unconnected one.
  EXPECT_FALSE(unicast.IsOpen());
  EXPECT_TRUE(unicast.Open(false));

  sink.lines.clear();
  const std::string host = std::string(64, 'y') + ".invalid";
  MulticastUDPSocket unknown(host, 123);
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_EQ(Messages(sink)[1], "Unable to determine multicast destination: " + host);
  EXPECT_EQ(unknown.Group().family, AddressFamily::None);
}

// Members of a group answer from their own addresses; the group's socket is
// unconnected and takes them. Shown on loopback with no multicast traffic.
TEST(MulticastUDPSocket, TakesRepliesFromAnySender) {
  Peer asked;
  MulticastUDPSocket client(kLoopback, asked.port);
  ASSERT_TRUE(client.Open(false));
  client.SetTimeout(5000);
  const uint8_t request[48] = {0xE3};
  ASSERT_TRUE(client.SendTo(kLoopback, request, 48));
  ASSERT_EQ(asked.Receive().size(), 48u);

  // Another sender (Wine binds only to its interfaces' addresses: another port).
  UDPSocket member(0);
  const uint16_t memberPort = test::BindSomewhere(member, kLoopback);
  const uint8_t reply[48] = {0x24};
  ASSERT_TRUE(member.SendToAddress(asked.socket.From(), reply, 48));
  uint8_t buffer[48];
  int32_t length = 0;
  char from[256];
  ASSERT_TRUE(client.ReceiveFrom(from, sizeof from, buffer, 48, length));
  EXPECT_EQ(std::string(from), "127.0.0.1:" + std::to_string(memberPort));
  EXPECT_EQ(buffer[0], 0x24);
}

TEST(IPSocket, ClosingAndMisuseAreReportedNotFatal) {
  CaptureSink sink;
  {
    UDPSocket socket(123);
    EXPECT_TRUE(socket.Close());  // nothing open: only marks it
    EXPECT_TRUE(socket.Terminated());
    const uint8_t data[4] = {};
    SocketAddress to;
    ASSERT_TRUE(socket.Resolve(kLoopback, to, 20123));
    EXPECT_FALSE(socket.SendToAddress(to, data, 4));
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(Messages(sink)[0].rfind("Unable to UDP sendto 10038:", 0), 0u) << sink.lines[0];
    EXPECT_THROW(socket.SetTimeout(100), IPException);
    char from[16];
    uint8_t buffer[48];
    int32_t length;
    try {
      socket.ReceiveFrom(from, sizeof from, buffer, 48, length);
      ADD_FAILURE() << "received on a closed socket";
    } catch (const IPException& error) {
      EXPECT_EQ(error.errorCode, 10038);  // WSAENOTSOCK
    }
  }
  sink.lines.clear();
  {
    // Open, connected or not, closed twice and destroyed: nothing to report.
    UDPSocket unconnected(123);
    ASSERT_TRUE(unconnected.Open(false));
    EXPECT_TRUE(unconnected.Close());
    EXPECT_TRUE(unconnected.Close());
    EXPECT_FALSE(unconnected.IsOpen());
    Peer peer;
    UDPSocket connected(kLoopback, peer.port);
    ASSERT_TRUE(connected.IsOpen());
  }
  EXPECT_EQ(sink.lines, std::vector<std::string>());
}

}  // namespace
}  // namespace veltraw
