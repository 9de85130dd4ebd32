#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sntp/NtpPacket.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

using test::CaptureSink;

TEST(NtpPacket, RequestIsAVersionFourClientPacketStampedWithT1) {
  uint8_t buffer[NtpPacket::kSize];
  std::memset(buffer, 0x5A, sizeof buffer);  // nothing of an earlier reply may remain
  BuildRequest(buffer, NtpTimestamp::Make(0xC76B0235, 0x80000000));
  const std::vector<uint8_t> expected = {
      0xE3, 0,    0,    0,                    // LI 3, VN 4, client; stratum, poll, prec
      0,    0,    0,    0,    0,    0, 0, 0,  // root delay and dispersion
      0x43, 0x56, 0x54, 0,                    // "CVT"
      0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // reference, originate
      0,    0,    0,    0,    0,    0, 0, 0,                          // receive
      0xC7, 0x6B, 0x02, 0x35, 0x80, 0, 0, 0};                         // transmit
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + NtpPacket::kSize), expected);
}

TEST(NtpPacket, LogTextOfAServerReplyShowsSignedAndRawFields) {
  const uint8_t reply[NtpPacket::kSize] = {
      0x24, 0x02, 0xFA, 0xEC,                          // LI 0, VN 4, server; stratum 2; -6; -20
      0xFF, 0xFF, 0xFF, 0x00,                          // root delay -256
      0x00, 0x00, 0x03, 0x26,                          // root dispersion
      0x47, 0x50, 0x53, 0x00,                          // "GPS"
      0xC7, 0x6B, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01,  // reference
      0xC7, 0x6B, 0x02, 0x35, 0x80, 0x00, 0x00, 0x00,  // originate
      0xC7, 0x6B, 0x02, 0x35, 0x81, 0x00, 0x00, 0x00,  // receive
      0xC7, 0x6B, 0x02, 0x35, 0x82, 0x00, 0x00, 0x00,  // transmit
  };
  CaptureSink sink;
  LogPacket("Received Packet from 10.0.0.1:123", reply);
  EXPECT_EQ(sink.messages(), (std::vector<std::string>{
                                 "Received Packet from 10.0.0.1:123: LI=0 VN=4 Mode=4 Strat=0x02",
                                 "  Poll=-6 Prec=-20 RtDly=-256 RtDisp=0x00000326 RefId=GPS\\x00",
                                 "  Reference=c76b0200.00000001 Originate=c76b0235.80000000",
                                 "  Receive=c76b0235.81000000 Transmit=c76b0235.82000000",
                             }));
}

}  // namespace
}  // namespace veltraw
