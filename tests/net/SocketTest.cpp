// UDP sockets over loopback only: a peer socket of the test's own plays the
// server. What a server can do to a client is tried on both loopbacks.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LIB/Net/UDPSocket.h"
#include "net/ArrivalStamps.h"
#include "net/Loopback.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

using test::CaptureSink;
using test::FamilyOf;
using test::OnLoopback;
using test::SenderText;
using Bytes = std::vector<uint8_t>;

const char* const kLoopback = "127.0.0.1";
const Bytes kRequest(48, 0xE3);

// What one receive gave: a datagram (or not) and its sender's text.
struct Received {
  bool ok = false;
  Bytes data;
  std::string from;
};

Received receive(UDPSocket& socket, int32_t size = 48) {
  Received result;
  Bytes buffer(static_cast<size_t>(size));
  int32_t length = 0;
  char from[64] = "stale";
  result.ok = socket.ReceiveFrom(from, sizeof from, buffer.data(), size, length);
  if (result.ok) result.data.assign(buffer.begin(), buffer.begin() + length);
  result.from = from;
  return result;
}

// The server side: bound, answering whoever wrote last.
struct Peer {
  explicit Peer(const std::string& host = kLoopback) : socket(0) {
    port = test::BindSomewhere(socket, host);
    socket.SetTimeout(5000);
  }
  bool Reply(const Bytes& data) {
    return socket.SendToAddress(socket.From(), data.data(), static_cast<int32_t>(data.size()));
  }
  UDPSocket socket;
  uint16_t port = 0;
};

// A client connected to peer, whose request peer has taken.
struct Exchange {
  explicit Exchange(const std::string& host = kLoopback, int32_t timeoutMs = 5000)
      : peer(host), client(host, peer.port) {
    client.SetTimeout(timeoutMs);
    EXPECT_TRUE(client.SendTo(host, kRequest.data(), 48));
    EXPECT_EQ(receive(peer.socket).data, kRequest);
  }
  Peer peer;
  UDPSocket client;
};

double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
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
      {"fe80::1%3", "[fe80::1%3]:20123"},  // a link-local address keeps its zone
      {"[::1", nullptr},
  };
  UDPSocket socket(0);
  for (const auto& c : cases) {
    CaptureSink sink;
    SocketAddress address;
    EXPECT_EQ(socket.Resolve(c.host, address, 20123), c.text != nullptr) << c.host;
    if (c.text == nullptr) {
      EXPECT_TRUE(sink.contains(std::string(">: Unable to gethostbyname ") + c.host)) << sink.all();
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
  Exchange exchange(Loopback());
  EXPECT_TRUE(exchange.client.Open(false));  // already open: stays connected
  // A stranger writing to the client's port is not the server.
  UDPSocket stranger(0);
  ASSERT_TRUE(stranger.Open(false, FamilyOf(Loopback())));
  ASSERT_TRUE(stranger.SendToAddress(exchange.peer.socket.From(), Bytes(48, 0xFF).data(), 48));
  const Bytes reply(kRequest.rbegin(), kRequest.rend());
  ASSERT_TRUE(exchange.peer.Reply(reply));
  const Received received = receive(exchange.client);
  EXPECT_TRUE(received.ok);
  EXPECT_EQ(received.data, reply);
  EXPECT_EQ(received.from, SenderText(Loopback(), exchange.peer.port));
  // The sender's text is cut to the room given.
  ASSERT_TRUE(exchange.peer.Reply(reply));
  char from[5];
  uint8_t buffer[48];
  int32_t length = 0;
  ASSERT_TRUE(exchange.client.ReceiveFrom(from, sizeof from, buffer, 48, length));
  EXPECT_EQ(std::string(from), SenderText(Loopback(), exchange.peer.port).substr(0, 4));
  EXPECT_FALSE(exchange.client.Terminated());
}

TEST_P(OnLoopback, RefusedRequestFailsLongBeforeTheTimeout) {
  uint16_t closedPort;
  {
    Peer gone(Loopback());  // bound and released again: nobody listens there now
    closedPort = gone.port;
  }
  UDPSocket client(Loopback(), closedPort);
  // Two requests: Wine passes the refusal on only from the second receive on
  // (the first waits for its timeout); Windows and Linux report both at once.
  // A refusal that went unnoticed would take the second one's whole minute.
  for (int round = 1; round <= 2; ++round) {
    client.SetTimeout(round == 1 ? 1500 : 60000);
    ASSERT_TRUE(client.SendTo(Loopback(), kRequest.data(), 48));
    CaptureSink sink;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(receive(client).ok);
    if (round == 1 && sink.lines.empty()) continue;
    EXPECT_LT(millisecondsSince(start), 30000.0);
    EXPECT_EQ(sink.levels, std::vector<int32_t>{Detail});
    EXPECT_TRUE(sink.contains(
        ">: recvfrom detected previous sendto packet failed to reach host (ECONNRESET)"));
  }
  EXPECT_FALSE(client.Terminated());
}

// Whatever a server sends ends in a result: a datagram, nothing, or an
// exception that the request series turns into a status.
TEST_P(OnLoopback, EveryDatagramLengthEndsInAResult) {
  Exchange exchange(Loopback());
  std::mt19937 random(48);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 100; ++n) lengths.push_back(n);
  lengths.insert(lengths.end(), {512, 1472, 9000});
  for (size_t n : lengths) {
    Bytes datagram(n);
    for (auto& byte : datagram) byte = static_cast<uint8_t>(random());
    ASSERT_TRUE(exchange.peer.Reply(datagram)) << n;
    CaptureSink sink;
    uint8_t buffer[48 + 4];
    std::memset(buffer, 0xA5, sizeof buffer);
    int32_t length = -1;
    char from[64];
    try {
      const bool ok = exchange.client.ReceiveFrom(from, sizeof from, buffer, 48, length);
      EXPECT_LE(n, 48u) << "a datagram of " << n << " bytes was taken";
      EXPECT_EQ(ok, n > 0) << n;
      EXPECT_EQ(length, n > 0 ? static_cast<int32_t>(n) : -1);
      EXPECT_TRUE(n > 48 || std::equal(datagram.begin(), datagram.end(), buffer)) << n;
      EXPECT_EQ(sink.contains(">: recvfrom closed by remote side (count=0)"), n == 0);
    } catch (const IPException& error) {
      EXPECT_GT(n, 48u);
      EXPECT_STREQ(error.what(), "UDPSocket::ReceiveFrom::recvfrom; error 0x2738 (10040)");
      EXPECT_TRUE(exchange.client.Terminated());
    }
    EXPECT_EQ(buffer[48], 0xA5) << n;  // never a byte beyond the buffer given
  }
}

// Asked to connect to another address on the same port, as a series asks a
// name's addresses in turn, a connected socket moves there and takes its reply.
TEST(UDPSocket, ConnectsAnewToAnotherAddressOnTheSamePort) {
  Peer first;
  UDPSocket second(0);
  ASSERT_TRUE(second.Open(false));
  if (!second.Bind("127.0.0.2", first.port)) {
    GTEST_SKIP() << "port " << first.port << " cannot be bound on 127.0.0.2 too";
  }
  second.SetTimeout(5000);
  UDPSocket client(0);
  SocketAddress here, there;
  ASSERT_TRUE(client.Resolve(kLoopback, here, first.port));
  ASSERT_TRUE(client.Resolve("127.0.0.2", there, first.port));
  ASSERT_TRUE(client.ConnectTo(here) && client.ConnectTo(there));
  client.SetTimeout(5000);
  ASSERT_TRUE(client.SendToAddress(there, kRequest.data(), 48));
  EXPECT_EQ(receive(second).data, kRequest);
  ASSERT_TRUE(second.SendToAddress(second.From(), kRequest.data(), 48));
  EXPECT_TRUE(receive(client).ok);
}

TEST(UDPSocket, UnresolvableHostLeavesAnUnconnectedSocketAndSendFails) {
  // A label longer than 63 characters cannot be put into a name query, so the
  // resolver gives up without asking anyone.
  const std::string host = std::string(70, 'x') + ".invalid";
  CaptureSink sink;
  UDPSocket client(host, 123);
  EXPECT_FALSE(client.IsOpen());
  ASSERT_TRUE(client.Open(false));
  EXPECT_FALSE(client.SendTo(host, kRequest.data(), 48));
  EXPECT_EQ(sink.levels, (std::vector<int32_t>{Severe, Severe, Warning}));
  EXPECT_EQ(sink.matching(">: Unable to gethostbyname " + host).size(), 2u);
  EXPECT_TRUE(sink.contains(">: Unable to determine address of " + host));
}

TEST_P(OnLoopback, ArrivalAgeOfADatagramThatWaited) {
  Exchange exchange(Loopback());
  // Linux turns its arrival stamps on lazily once a socket of a quiet system
  // asks for them; a datagram that came before then is stamped as it is read.
  // A later one is stamped on arrival, so a few waits settle it.
  int64_t age = 0;
  for (int wait = 0; wait < 5 && (wait == 0 || age < 50000000); ++wait) {
    ASSERT_TRUE(exchange.peer.Reply(kRequest));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_TRUE(receive(exchange.client).ok);
    age = exchange.client.ArrivalAgeNs();
  }
  if (test::kSystemStampsArrivals) {
    EXPECT_GE(age, 50000000);  // the whole wait
    EXPECT_LT(age, 1000000000);
  } else {
    // Waiting before the receive began, it was there at the first look:
    // since when, only a stamp could tell.
    EXPECT_LT(age, 50000000) << age;
  }
}

TEST(IPSocket, ClosingAndMisuseAreReportedNotFatal) {
  CaptureSink sink;
  {
    UDPSocket socket(123);
    EXPECT_TRUE(socket.Close());  // nothing open: only marks it
    EXPECT_TRUE(socket.Terminated());
    EXPECT_FALSE(socket.SendTo(kLoopback, kRequest.data(), 48));
    EXPECT_TRUE(sink.contains(">: Unable to UDP sendto 10038:")) << sink.all();
    EXPECT_THROW(socket.SetTimeout(100), IPException);
  }
  sink.lines.clear();
  {
    // Open, connected or not, closed twice and destroyed: nothing to report.
    { Exchange connected; }
    UDPSocket unconnected(123);
    ASSERT_TRUE(unconnected.Open(false));
    EXPECT_TRUE(unconnected.Close());
    EXPECT_TRUE(unconnected.Close());
    EXPECT_FALSE(unconnected.IsOpen());
  }
  EXPECT_EQ(sink.lines, std::vector<std::string>());
}

}  // namespace
}  // namespace veltraw
