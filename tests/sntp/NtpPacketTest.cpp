#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "LIB/Time/PrecisionClock.h"
#include "sntp/NtpPacket.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

using test::CaptureSink;

std::vector<std::string> Messages(const CaptureSink& sink) {
  std::vector<std::string> messages;
  for (const auto& line : sink.lines) messages.push_back(line.substr(line.find(">: ") + 3));
  return messages;
}

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

TEST(NtpPacket, RequestReadsTheProcessClockForT1) {
  PrecisionClock& clock = PrecisionClock::Instance();
  NtpPacket packet;
  const NtpTimestamp before = clock.NowNtp();
  BuildRequest(packet.bytes);
  const NtpTimestamp after = clock.NowNtp();
  const NtpTimestamp t1 = packet.transmitTimestamp();
  EXPECT_FALSE((t1 - before).IsNegative());
  EXPECT_FALSE((after - t1).IsNegative());
  EXPECT_EQ(packet.leapIndicator(), 3);
  EXPECT_EQ(packet.versionNumber(), 4);
  EXPECT_EQ(packet.mode(), 3);
}

TEST(NtpPacket, LogTextOfARequest) {
  uint8_t buffer[NtpPacket::kSize];
  BuildRequest(buffer, NtpTimestamp::Make(0xC76B0235, 0x80000000));
  CaptureSink sink;
  LogPacket("Sent Packet to 192.168.1.5", buffer);
  EXPECT_EQ(Messages(sink), (std::vector<std::string>{
                                "Sent Packet to 192.168.1.5: LI=3 VN=4 Mode=3 Strat=0x00",
                                "  Poll=0 Prec=0 RtDly=0 RtDisp=0x00000000 RefId=CVT\\x00",
                                "  Reference=00000000.00000000 Originate=00000000.00000000",
                                "  Receive=00000000.00000000 Transmit=c76b0235.80000000",
                            }));
  EXPECT_EQ(sink.levels, std::vector<int32_t>(4, Detail));
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
  EXPECT_EQ(Messages(sink), (std::vector<std::string>{
                                "Received Packet from 10.0.0.1:123: LI=0 VN=4 Mode=4 Strat=0x02",
                                "  Poll=-6 Prec=-20 RtDly=-256 RtDisp=0x00000326 RefId=GPS\\x00",
                                "  Reference=c76b0200.00000001 Originate=c76b0235.80000000",
                                "  Receive=c76b0235.81000000 Transmit=c76b0235.82000000",
                            }));
}

// Any 48 bytes from the network log as four lines without control characters.
TEST(NtpPacket, AnyBytesLogAsFourLines) {
  std::mt19937 random(3);
  for (int round = 0; round < 200; ++round) {
    uint8_t bytes[NtpPacket::kSize];
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
    CaptureSink sink;
    LogPacket("Received Packet from 127.0.0.1:123", bytes);
    ASSERT_EQ(sink.lines.size(), 4u);
    for (const auto& line : sink.lines) {
      for (char c : line) ASSERT_GE(static_cast<unsigned char>(c), 0x20) << line;
    }
  }
}

}  // namespace
}  // namespace veltraw
