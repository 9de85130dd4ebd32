// The socket tests run on both loopback addresses. A machine without the
// IPv6 one skips its half, saying so.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "LIB/Net/UDPSocket.h"

namespace veltraw::test {

inline AddressFamily FamilyOf(const std::string& host) {
  return host.find(':') == std::string::npos ? AddressFamily::IPv4 : AddressFamily::IPv6;
}

// The sender's text of a datagram from host:port.
inline std::string SenderText(const std::string& host, uint16_t port) {
  const std::string address = FamilyOf(host) == AddressFamily::IPv6 ? "[" + host + "]" : host;
  return address + ":" + std::to_string(port);
}

// Opens socket for host's family and binds it to a free port above 20000.
inline uint16_t BindSomewhere(UDPSocket& socket, const std::string& host) {
  EXPECT_TRUE(socket.Open(false, FamilyOf(host)));
  std::random_device seed;
  std::mt19937 pick(seed());
  for (int attempt = 0; attempt < 50; ++attempt) {
    const auto port = static_cast<uint16_t>(20000 + pick() % 40000);
    if (socket.Bind(host, port)) return port;
  }
  ADD_FAILURE() << "no free port on " << host;
  return 0;
}

// Parameter: the loopback address, "127.0.0.1" or "::1".
class OnLoopback : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    UDPSocket probe(0);
    if (!probe.Open(false, FamilyOf(GetParam())) || !probe.Bind(GetParam(), 0)) {
      GTEST_SKIP() << "this machine has no " << GetParam() << " loopback to test on";
    }
  }
  std::string Loopback() const { return GetParam(); }
};

}  // namespace veltraw::test
