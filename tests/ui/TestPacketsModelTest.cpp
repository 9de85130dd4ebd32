#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "LIB/Time/NtpTimestamp.h"
#include "support/ScratchKey.h"
#include "ui/TestPacketsModel.h"

namespace veltraw {
namespace {

NtpResult reply(std::initializer_list<std::pair<int, uint8_t>> bytes = {}) {
  NtpResult result;
  result.host = "ntp.example.org";
  result.status = Ok;
  result.hasPacket = true;
  result.roundTripMs = 12;
  result.offsetMs = -3;
  result.packet.bytes[0] = 0x24;
  for (const auto& [offset, value] : bytes) result.packet.bytes[offset] = value;
  return result;
}

void setTimestamp(NtpResult& result, int offset, uint32_t seconds, uint32_t fraction) {
  NtpTimestamp::Make(seconds, fraction).WriteWire(result.packet.bytes + offset);
}

const std::string& text(const ResultTexts& texts, int id) { return texts[id - IDC_ROUND_TRIP]; }

TEST(TestPacketTexts, TimeoutAndFailureShowOneLine) {
  const struct {
    NtpStatus status;
    bool hasPacket;
    const char* first;
  } cases[] = {
      {NoResponse, false, "Timeout waiting for packet response"},
      {NoResponse, true, "Timeout waiting for packet response"},
      {Failed, true, "Error getting packet response"},
      {Ok, false, "Error getting packet response"},
      {BadReference, false, "Error getting packet response"},
  };
  for (const auto& c : cases) {
    NtpResult result = reply();
    result.status = c.status;
    result.hasPacket = c.hasPacket;
    const TestPacketReport report = testPacketReport(result);
    EXPECT_FALSE(report.answered);
    EXPECT_EQ(c.first, report.texts[0]);
    for (size_t i = 1; i < kResultFieldCount; ++i) EXPECT_EQ("", report.texts[i]) << i;
  }
}

TEST(TestPacketTexts, ReplyShowsEveryField) {
  NtpResult result = reply({{1, 2},
                            {2, 6},
                            {3, 0xEC},
                            {6, 0x08},
                            {9, 0x01},
                            {10, 0x80},
                            {12, 'G'},
                            {13, 'P'},
                            {14, 'S'},
                            {15, 0}});
  result.status = BadReference;  // shown like a good one
  setTimestamp(result, NtpPacket::kReferenceTimestampOffset, 0xC76B0235, 0x80000000);
  setTimestamp(result, NtpPacket::kReceiveTimestampOffset, 0xC76B0236, 0);
  setTimestamp(result, NtpPacket::kTransmitTimestampOffset, 0xC76B0236, 0x0CCCCCCD);
  const TestPacketReport report = testPacketReport(result);
  EXPECT_TRUE(report.answered);
  const ResultTexts expected = {
      "12 ms",
      "-3 ms",
      "50.000000 ms",
      "0 (ok)",
      "4",
      "4 (server)",
      "2",
      "64 s (06)",
      "1/1048576 s (ec)",
      "1.50000 s (00018000)",
      "0.03125 s (00000800)",
      "GPS\\x00",
      "c76b0235.80000000",
      "3345678901.50000000",
      "Sun, Jan 8,2006 03:15:01.5000 UTC",
      // A zero timestamp falls in the second NTP era, as every one with bit 31 clear.
      "00000000.00000000",
      "0.00000000",
      "Thu, Feb 7,2036 06:28:16.0000 UTC",
      "c76b0236.00000000",
      "3345678902.00000000",
      "Sun, Jan 8,2006 03:15:02.0000 UTC",
      "c76b0236.0ccccccd",
      "3345678902.05000000",
      "Sun, Jan 8,2006 03:15:02.0500 UTC",
  };
  for (size_t i = 0; i < kResultFieldCount; ++i) EXPECT_EQ(expected[i], report.texts[i]) << i;
}

TEST(TestPacketTexts, StatusByte) {
  const struct {
    uint8_t first;
    const char *leap, *version, *mode;
  } cases[] = {
      {0x1C, "0 (ok)", "3", "4 (server)"},     {0xE3, "3 (ALARM)", "4", "3 (client)"},
      {0x40, "1 (61 s)", "0", "0 (reserved)"}, {0x81, "2 (59 s)", "0", "1 (active)"},
      {0xFF, "3 (ALARM)", "7", "7 (private)"},
  };
  for (const auto& c : cases) {
    const ResultTexts texts = resultTexts(reply({{0, c.first}}));
    EXPECT_EQ(c.leap, text(texts, IDC_LEAP)) << +c.first;
    EXPECT_EQ(c.version, text(texts, IDC_VERSION)) << +c.first;
    EXPECT_EQ(c.mode, text(texts, IDC_MODE)) << +c.first;
  }
}

// Poll and precision share one form, exact for every exponent a byte holds.
TEST(TestPacketTexts, PowersOfTwoOfPollAndPrecision) {
  const struct {
    uint8_t exponent;
    const char* expected;
  } cases[] = {
      {0x00, "1 s (00)"},
      {0x06, "64 s (06)"},
      {0xFA, "1/64 s (fa)"},
      {0xEC, "1/1048576 s (ec)"},
      {0xE1, "1/2147483648 s (e1)"},
      {0x7F, "170141183460469231731687303715884105728 s (7f)"},
      {0x80, "1/340282366920938463463374607431768211456 s (80)"},
  };
  for (const auto& c : cases) {
    const ResultTexts texts = resultTexts(reply({{2, c.exponent}, {3, c.exponent}}));
    EXPECT_EQ(c.expected, text(texts, IDC_POLL));
    EXPECT_EQ(c.expected, text(texts, IDC_PRECISION));
  }
}

TEST(TestPacketTexts, RootValuesAndReferenceId) {
  const ResultTexts signedDelay = resultTexts(reply({{4, 0xFF},
                                                     {5, 0xFF},
                                                     {6, 0xFF},
                                                     {7, 0x00},
                                                     {8, 0xFF},
                                                     {9, 0xFF},
                                                     {10, 0xFF},
                                                     {11, 0xFF},
                                                     {12, 0x7F},
                                                     {13, 0x1F},
                                                     {14, ' '},
                                                     {15, '~'}}));
  EXPECT_EQ("-0.00391 s (ffffff00)", text(signedDelay, IDC_ROOT_DELAY));
  EXPECT_EQ("65535.99998 s (ffffffff)", text(signedDelay, IDC_ROOT_DISPERSION));
  EXPECT_EQ("\\x7f\\x1f ~", text(signedDelay, IDC_REFERENCE_ID));

  const ResultTexts address =
      resultTexts(reply({{4, 0x80}, {12, 0xC0}, {13, 0xA8}, {14, 0x01}, {15, 0x05}}));
  EXPECT_EQ("-32768.00000 s (80000000)", text(address, IDC_ROOT_DELAY));
  EXPECT_EQ("\\xc0\\xa8\\x01\\x05", text(address, IDC_REFERENCE_ID));
}

// The server's time is a signed difference, across the 2036 wrap too; the
// decimal seconds are rounded from the exact value and may carry.
TEST(TestPacketTexts, ServerTimeAndDecimalSeconds) {
  const struct {
    uint64_t receive, transmit;
    const char *serverTime, *transmitSeconds;
  } cases[] = {
      {0xC76B023680000000, 0xC76B023600000000, "-500.000000 ms", "3345678902.00000000"},
      {0xFFFFFFFFF0000000, 0x0000000010000000, "125.000000 ms", "0.06250000"},
      {0xC76B023600000000, 0xC76B02360000002B, "0.000010 ms", "3345678902.00000001"},
      {0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, "0.000000 ms", "4294967296.00000000"},
  };
  for (const auto& c : cases) {
    NtpResult result = reply();
    NtpTimestamp(c.receive).WriteWire(result.packet.bytes + NtpPacket::kReceiveTimestampOffset);
    NtpTimestamp(c.transmit).WriteWire(result.packet.bytes + NtpPacket::kTransmitTimestampOffset);
    const ResultTexts texts = resultTexts(result);
    EXPECT_EQ(c.serverTime, text(texts, IDC_SERVER_TIME));
    EXPECT_EQ(c.transmitSeconds, text(texts, IDC_TRANSMIT_SECONDS));
  }
}

std::vector<std::string> list(std::initializer_list<std::string> names) { return names; }

TEST(TestServerList, OpensWithConfiguredThenRememberedServers) {
  test::ScratchKey scratch;
  {
    auto key = scratch.open();
    key->writeNumber("Servers", 4);
    key->writeText("Server1", "ntp.b.org");
    key->writeText("Server2", "NTP.A.org");
    key->writeText("Server3", "");
    key->writeText("Server4", "after.the.gap");
    key->writeNumber("TestServers", 4);
    key->writeText("TestServer1", "NTP");  // begins ntp.b.org: not a new entry
    key->writeText("TestServer2", "zeta.example");
    key->writeText("TestServer3", std::string(300, 'x'));
    key->writeText("TestServer4", "alpha");
  }
  TestPacketsModel model;
  model.load(*scratch.open());
  EXPECT_EQ("ntp.b.org", model.serverText);
  EXPECT_EQ(list({"alpha", "NTP.A.org", "ntp.b.org", std::string(255, 'x'), "zeta.example"}),
            model.servers());
}

TEST(TestServerList, KeepsOneEntryPerPrefixInAlphabeticalOrder) {
  TestPacketsModel model;
  const struct {
    const char* name;
    bool added;
  } steps[] = {
      {"pool.ntp.org", true},
      {"POOL.NTP", false},
      {"", false},
      {"Beta", true},
      {"alpha", true},
      {"pool.ntp.org.uk", true},
      {"\xC3\xA9t\xC3\xA9", true},
      {"Zulu", true},
      {"ALPHA", false},
  };
  for (const auto& step : steps) EXPECT_EQ(step.added, model.addServer(step.name)) << step.name;
  EXPECT_EQ(list({"alpha", "Beta", "pool.ntp.org", "pool.ntp.org.uk", "Zulu", "\xC3\xA9t\xC3\xA9"}),
            model.servers());
}

TEST(TestServerList, AnsweringServersAreRememberedAndStoredOnClose) {
  test::ScratchKey scratch;
  scratch.open()->writeText("TestServer4", "stale");
  TestPacketsModel model;
  model.addServer("b.example");
  model.addServer("C.example");

  NtpResult silent = reply();
  silent.host = "silent.example";
  silent.status = NoResponse;
  EXPECT_FALSE(model.apply(testPacketReport(silent)));
  EXPECT_EQ("Timeout waiting for packet response", model.texts()[0]);

  NtpResult answered = reply();
  answered.host = "A.example";
  EXPECT_TRUE(model.apply(testPacketReport(answered)));
  EXPECT_EQ("12 ms", model.texts()[0]);
  EXPECT_FALSE(model.apply(testPacketReport(answered)));

  model.store(*scratch.open());
  TestPacketsModel reopened;
  reopened.load(*scratch.open());
  EXPECT_EQ(list({"A.example", "b.example", "C.example"}), reopened.servers());
  auto key = scratch.open();
  EXPECT_EQ(3, key->readNumber("TestServers", 0));
  EXPECT_EQ("A.example", key->readText("TestServer1", ""));
  EXPECT_EQ("C.example", key->readText("TestServer3", ""));
  EXPECT_EQ("stale", key->readText("TestServer4", ""));
}

}  // namespace
}  // namespace veltraw
