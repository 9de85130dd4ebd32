// How long a datagram had waited before the receive returned it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "LIB/Net/UDPSocket.h"
#include "net/ArrivalStamps.h"
#include "net/Loopback.h"

namespace veltraw::test {
namespace {

TEST_P(OnLoopback, ArrivalAgeOfADatagramThatWaited) {
  UDPSocket server(0);
  const uint16_t port = BindSomewhere(server, Loopback());
  ASSERT_NE(port, 0);
  server.SetTimeout(5000);
  UDPSocket client(Loopback(), port);
  const uint8_t hello[48] = {1};
  ASSERT_TRUE(client.SendTo(Loopback(), hello, 48));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));

  uint8_t buffer[48];
  int32_t length = 0;
  char from[64];
  ASSERT_TRUE(server.ReceiveFrom(from, sizeof from, buffer, 48, length));
  const int64_t age = server.ArrivalAgeNs();
  if (kSystemStampsArrivals) {
    EXPECT_GE(age, 50000000) << age;  // the whole wait
    EXPECT_LT(age, 1000000000) << age;
  } else {
    // Waiting before the receive began, it was there at the first look:
    // since when, only a stamp could tell.
    EXPECT_LT(age, 50000000) << age;
  }
}

}  // namespace
}  // namespace veltraw::test
