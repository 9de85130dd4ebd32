#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "LIB/Time/NtpTimestamp.h"
#include "support/ScratchKey.h"
#include "ui/TestPacketsModel.h"

namespace veltraw {
namespace {

using Names = std::vector<std::string>;

NtpResult reply(const std::string& host = "ntp.example.org", NtpStatus status = Ok) {
  NtpResult result;
  result.host = host;
  result.status = status;
  result.hasPacket = true;
  result.roundTripMs = 12;
  result.offsetMs = -3;
  result.packet.bytes[0] = 0x24;
  return result;
}

void put(NtpResult& result, int offset, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) result.packet.bytes[offset + i] = value >> (8 * (size - 1 - i));
}

TEST(TestPacketTexts, WithoutAReplyOnlyTheFirstLine) {
  const std::tuple<NtpStatus, bool, const char*> cases[] = {
      {NoResponse, true, "Timeout waiting for packet response"},
      {Failed, true, "Error getting packet response"},
      {BadReference, false, "Error getting packet response"}};
  for (const auto& [status, hasPacket, first] : cases) {
    NtpResult result = reply("a", status);
    result.hasPacket = hasPacket;
    ResultTexts expected;
    expected[0] = first;
    EXPECT_EQ(expected, testPacketReport(result).texts);
  }
}

TEST(TestPacketTexts, AReplyFieldByField) {
  NtpResult result = reply("a", BadReference);  // shown like a good one
  put(result, 0, 0x1C02EC06, 4);  // version 3; stratum 2, poll 2^-20 s, precision 64 s
  put(result, 4, 0x0000080000018000, 8);
  put(result, 12, 0x4750530A, 4);
  put(result, NtpPacket::kReferenceTimestampOffset, 0xC76B023580000000, 8);
  put(result, NtpPacket::kReceiveTimestampOffset, 0xC76B023600000000, 8);
  put(result, NtpPacket::kTransmitTimestampOffset, 0xC76B02360CCCCCCD, 8);
  const ResultTexts expected = {
      "12 ms", "-3 ms", "50.000000 ms", "0 (ok)", "3", "4 (server)", "2", "1/1048576 s (ec)",
      "64 s (06)", "1.50000 s (00018000)", "0.03125 s (00000800)", "GPS\\x0a", "c76b0235.80000000",
      "3345678901.50000000", "Sun, Jan 8,2006 03:15:01.5000 UTC",
      // A zero timestamp falls in the second era, as every one with bit 31 clear.
      "00000000.00000000", "0.00000000", "Thu, Feb 7,2036 06:28:16.0000 UTC", "c76b0236.00000000",
      "3345678902.00000000", "Sun, Jan 8,2006 03:15:02.0000 UTC", "c76b0236.0ccccccd",
      "3345678902.05000000", "Sun, Jan 8,2006 03:15:02.0500 UTC"};
  EXPECT_EQ(expected, testPacketReport(result).texts);
  EXPECT_TRUE(testPacketReport(result).answered);

  // Each row: a value put at a byte offset, and the text of one field.
  const std::tuple<int, uint64_t, int, int, const char*> cases[] = {
      {2, 0x00, 1, IDC_POLL, "1 s (00)"},
      {3, 0x80, 1, IDC_PRECISION, "1/340282366920938463463374607431768211456 s (80)"},
      {4, 0x80000000, 4, IDC_ROOT_DELAY, "-32768.00000 s (80000000)"},
      {8, 0xFFFFFFFF, 4, IDC_ROOT_DISPERSION, "65535.99998 s (ffffffff)"},
      {12, 0x7F1F207E, 4, IDC_REFERENCE_ID, "\\x7f\\x1f ~"},
      // The server's time is a signed difference, across the 2036 wrap too;
      // decimal seconds are rounded from the exact value and may carry.
      {32, 0x80000000, 8, IDC_SERVER_TIME, "-500.000000 ms"},
      {32, 0xFFFFFFFFF0000000, 8, IDC_SERVER_TIME, "62.500000 ms"},
      {40, ~uint64_t{0}, 8, IDC_TRANSMIT_SECONDS, "4294967296.00000000"}};
  for (const auto& [offset, value, size, id, expected] : cases) {
    NtpResult result = reply();
    put(result, offset, value, size);
    EXPECT_EQ(expected, resultTexts(result)[id - IDC_ROUND_TRIP]) << offset << " " << value;
  }
}

// Configured then remembered servers, each list up to its first empty name,
// once per prefix in any letter case; sorted, and stored in that order.
TEST(TestServerList, ConfiguredThenRememberedOncePerPrefixStoredInOrder) {
  test::ScratchKey scratch;
  const char* const texts[][2] = {{"Server1", "ntp.b.org"}, {"Server2", "NTP.A.org"},
                                  {"Server3", ""},          {"Server4", "after.gap"},
                                  {"TestServer1", "NTP"},   {"TestServer2", "\xC3\xA9t"},
                                  {"TestServer4", "alpha"}, {"TestServer5", "beyond.count"}};
  for (const auto& [name, value] : texts) scratch.open()->writeText(name, value);
  scratch.open()->writeNumber("Servers", 4);
  scratch.open()->writeNumber("TestServers", 4);
  scratch.open()->writeText("TestServer3", std::string(300, 'x'));
  TestPacketsModel model;
  model.load(*scratch.open());
  EXPECT_EQ("ntp.b.org", model.serverText);
  const std::string x255(255, 'x');
  EXPECT_EQ(Names({"alpha", "NTP.A.org", "ntp.b.org", x255, "\xC3\xA9t"}), model.servers());

  // Only a server that answered is remembered.
  EXPECT_FALSE(model.apply(testPacketReport(reply("silent.example", NoResponse))));
  EXPECT_FALSE(model.apply(testPacketReport(reply("ALPHA"))));
  EXPECT_FALSE(model.addServer(""));
  EXPECT_TRUE(model.apply(testPacketReport(reply("Beta"))));
  EXPECT_EQ("12 ms", model.texts()[0]);
  EXPECT_TRUE(model.addServer("alpha.b"));
  model.store(*scratch.open());

  TestPacketsModel reopened;
  reopened.load(*scratch.open());
  EXPECT_EQ(Names({"alpha", "alpha.b", "Beta", "NTP.A.org", "ntp.b.org", x255, "\xC3\xA9t"}),
            reopened.servers());
  EXPECT_EQ(7, scratch.open()->readNumber("TestServers", 0));
  EXPECT_EQ("Beta", scratch.open()->readText("TestServer3", ""));
}

}  // namespace
}  // namespace veltraw
