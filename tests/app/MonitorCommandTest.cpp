#include <gtest/gtest.h>

#include <string>

#include "AppTestSupport.h"
#include "app/MonitorCommand.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

using test::BoxRecorder;
using test::CaptureSink;

NtpPacket replyPacket() {
  NtpPacket packet;
  packet.bytes[3] = 0xEC;  // precision -20
  // Root delay and dispersion with the top bit set: "%u" shows them unsigned.
  const uint8_t delay[4] = {0x80, 0x00, 0x01, 0x02};
  const uint8_t dispersion[4] = {0x00, 0x01, 0x00, 0x00};
  for (int i = 0; i < 4; ++i) {
    packet.bytes[4 + i] = delay[i];
    packet.bytes[8 + i] = dispersion[i];
  }
  NtpTimestamp::Make(3508749671u, 0x80000000).WriteWire(packet.bytes + 16);
  NtpTimestamp::Make(1, 0x40000000).WriteWire(packet.bytes + 24);
  NtpTimestamp::Make(2, 0).WriteWire(packet.bytes + 32);
  NtpTimestamp::Make(0xFFFFFFFF, 0).WriteWire(packet.bytes + 40);
  return packet;
}

TEST(MonitorCommandTest, EveryCodeIsFilledIn) {
  const NtpPacket packet = replyPacket();
  EXPECT_EQ(expandMonitorCommand("%1|%2|%3|%4|%5|%6|%7|%8|%9|%0", "EV", "ntp1", 130, &packet),
            "ntp1|EV|130|2147483906|65536|3508749671.50000000|1.25000000|2.00000000|"
            "4294967295.00000000|-20");
  // Without a packet the packet codes read 0; name, code and round trip stay.
  EXPECT_EQ(expandMonitorCommand("%1|%2|%3|%4|%5|%6|%7|%8|%9|%0", "TO", "ntp1", 0, nullptr),
            "ntp1|TO|0|0|0|0|0|0|0|0");
  // The round trip is written unsigned, as "%u" writes it.
  EXPECT_EQ(expandMonitorCommand("%3", "LA", "n", -1, nullptr), "4294967295");
}

TEST(MonitorCommandTest, EventExamplesExpandAsDocumented) {
  const NtpPacket packet = replyPacket();
  EXPECT_EQ(expandMonitorCommand("notify.exe %2 %1 %3 %0", "LA", "ntp1", 130, &packet),
            "notify.exe LA ntp1 130 -20");
  EXPECT_EQ(expandMonitorCommand("notify.exe %2 %1 %3 %0", "TO", "ntp1", 0, nullptr),
            "notify.exe TO ntp1 0 0");
  EXPECT_EQ(expandMonitorCommand("log %6", "EV", "ntp1", 5, &packet), "log 3508749671.50000000");
  EXPECT_EQ(expandMonitorCommand("%2 %1 %3 %9", "SS", "START", 0, nullptr), "SS START 0 0");
}

TEST(MonitorCommandTest, PercentSignsOutsideTheCodesStay) {
  EXPECT_EQ(expandMonitorCommand("100%% %x %", "EV", "n", 0, nullptr), "100% %x %");
  EXPECT_EQ(expandMonitorCommand("%", "EV", "n", 0, nullptr), "%");
  EXPECT_EQ(expandMonitorCommand("%%%", "EV", "n", 0, nullptr), "%%");
  EXPECT_EQ(expandMonitorCommand("%%1", "EV", "n", 0, nullptr), "%1");
  EXPECT_EQ(expandMonitorCommand("", "EV", "n", 0, nullptr), "");
  const std::string withNul("a%\0b", 4);
  EXPECT_EQ(expandMonitorCommand(withNul, "EV", "n", 0, nullptr), std::string("a%\0b", 4));
}

TEST(MonitorCommandTest, TemplatesOfAnyLengthExpandWhole) {
  const NtpPacket packet = replyPacket();
  std::string longTemplate;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    longTemplate += "%6%1";
    expected += "3508749671.50000000" + std::string(300, 'h');
  }
  EXPECT_EQ(expandMonitorCommand(longTemplate, "EV", std::string(300, 'h'), 0, &packet), expected);

  // Every byte value after a %, and on its own.
  for (int c = 0; c < 256; ++c) {
    const std::string text{'%', static_cast<char>(c), static_cast<char>(c)};
    const std::string line = expandMonitorCommand(text, "EV", "n", 7, &packet);
    EXPECT_LE(line.size(), 2u + 20u);
    EXPECT_EQ(line.back(), static_cast<char>(c));
  }
}

bool refuseToStart(const std::string&) { return false; }
std::string g_started;
bool recordStart(const std::string& commandLine) {
  g_started = commandLine;
  return true;
}

TEST(MonitorCommandTest, LaunchIsLoggedAndAFailureShownInABox) {
  CaptureSink log;
  BoxRecorder boxes;
  launchMonitorCommand("notify.exe TO ntp1 0 0", recordStart);
  EXPECT_EQ(g_started, "notify.exe TO ntp1 0 0");
  EXPECT_EQ(log.levelOf("Running Monitor Program: notify.exe TO ntp1 0 0"), Warning);
  EXPECT_TRUE(boxes.boxes.empty());

  launchMonitorCommand("missing.exe", refuseToStart);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "missing.exe");
  EXPECT_EQ(boxes.boxes[0].caption, "Error launching monitor program");
  EXPECT_EQ(boxes.boxes[0].style, static_cast<uint32_t>(BoxOk | BoxIconWarning));
  EXPECT_EQ(boxes.boxes[0].owner, nullptr);
}

TEST(MonitorCommandTest, TemplateComesFromTheSettings) {
  test::ScratchKey scratch;
  auto settings = scratch.open();
  BoxRecorder boxes;
  g_started = "unchanged";
  // None configured: the empty command line is still tried.
  runMonitorCommand(*settings, "SS", "START", 0, nullptr, recordStart);
  EXPECT_EQ(g_started, "");

  settings->writeText("MonitorCommand", "notify %2 %1");
  runMonitorCommand(*settings, "SS", "STOP", 0, nullptr, recordStart);
  EXPECT_EQ(g_started, "notify SS STOP");
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
}  // namespace veltraw
