// How long a datagram had waited before the receive returned it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "LIB/Net/UDPSocket.h"
#include "net/ArrivalStamps.h"

namespace veltraw {
namespace {

TEST(UDPSocket, ArrivalAgeOfADatagramThatWaited) {
  UDPSocket server(0);
  ASSERT_TRUE(server.Open(false));
  uint16_t port = 0;
  for (uint16_t candidate = 47123; candidate < 47223 && port == 0; ++candidate) {
    if (server.Bind("127.0.0.1", candidate)) port = candidate;
  }
  ASSERT_NE(port, 0);
  server.SetTimeout(5000);
  UDPSocket client("127.0.0.1", port);
  const uint8_t hello[48] = {1};
  ASSERT_TRUE(client.SendTo("127.0.0.1", hello, 48));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));

  uint8_t buffer[48];
  int32_t length = 0;
  char from[32];
  ASSERT_TRUE(server.ReceiveFrom(from, sizeof from, buffer, 48, length));
  const int64_t age = server.ArrivalAgeNs();
  if (test::kSystemStampsArrivals) {
    EXPECT_GE(age, 50000000) << age;  // the whole wait
    EXPECT_LT(age, 1000000000) << age;
  } else {
    EXPECT_EQ(age, 0);
  }
}

}  // namespace
}  // namespace veltraw
