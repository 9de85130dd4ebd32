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

TEST(MonitorCommandTest, CodesAreFilledInAndOtherPercentSignsStay) {
  const NtpPacket packet = replyPacket();
  const struct {
    const char* commandTemplate;
    const char* code;
    int32_t roundTripMs;
    bool withPacket;
    const char* expected;
  } cases[] = {
      {"%1|%2|%3|%4|%5|%6|%7|%8|%9|%0", "EV", 130, true,
       "ntp1|EV|130|2147483906|65536|3508749671.50000000|1.25000000|2.00000000|"
       "4294967295.00000000|-20"},
      // Without a packet the packet codes read 0; name, code and round trip stay.
      {"%1|%2|%3|%4|%5|%6|%7|%8|%9|%0", "TO", 0, false, "ntp1|TO|0|0|0|0|0|0|0|0"},
      {"notify.exe %2 %1 %3 %0", "LA", 130, true, "notify.exe LA ntp1 130 -20"},
      {"%3", "LA", -1, false, "4294967295"},  // written unsigned, as "%u" writes it
      {"100%% %x %", "EV", 0, false, "100% %x %"},
      {"%%%", "EV", 0, false, "%%"},
      {"%%1", "EV", 0, false, "%1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(expandMonitorCommand(c.commandTemplate, c.code, "ntp1", c.roundTripMs,
                                   c.withPacket ? &packet : nullptr),
              c.expected)
        << c.commandTemplate;
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
