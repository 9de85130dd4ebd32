#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "AppTestSupport.h"
#include "app/MonitorCommand.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

TEST(MonitorCommandTest, CodesAreFilledInAndOtherPercentSignsStay) {
  NtpPacket packet;
  // Root delay and dispersion with the top bit set: "%u" shows them unsigned.
  const uint8_t header[12] = {0, 0, 0, 0xEC, 0x80, 0x00, 0x01, 0x02, 0x00, 0x01, 0x00, 0x00};
  std::copy(header, header + 12, packet.bytes);
  NtpTimestamp::Make(3508749671u, 0x80000000).WriteWire(packet.bytes + 16);
  NtpTimestamp::Make(1, 0x40000000).WriteWire(packet.bytes + 24);
  NtpTimestamp::Make(2, 0).WriteWire(packet.bytes + 32);
  NtpTimestamp::Make(0xFFFFFFFF, 0).WriteWire(packet.bytes + 40);
  const struct {
    const char* commandTemplate;
    int32_t roundTripMs;
    bool withPacket;
    const char* expected;
  } cases[] = {
      {"%1|%2|%3|%4|%5|%6|%7|%8|%9|%0", 130, true,
       "ntp1|EV|130|2147483906|65536|3508749671.50000000|1.25000000|2.00000000|"
       "4294967295.00000000|-20"},
      // Without a packet the packet codes read 0; name, code and round trip stay.
      {"%1|%2|%3|%4|%5|%6|%7|%8|%9|%0", 0, false, "ntp1|EV|0|0|0|0|0|0|0|0"},
      {"%3", -1, false, "4294967295"},  // written unsigned, as "%u" writes it
      {"100%% %x %", 0, false, "100% %x %"},
      {"%%%", 0, false, "%%"},
      {"%%1", 0, false, "%1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(expandMonitorCommand(c.commandTemplate, "EV", "ntp1", c.roundTripMs,
                                   c.withPacket ? &packet : nullptr),
              c.expected)
        << c.commandTemplate;
  }
}

std::string g_started;
bool recordStart(const std::string& commandLine) {
  g_started = commandLine;
  return commandLine.find("missing") == std::string::npos;
}

// The template comes from the settings (none: the empty command line is still
// tried); a launch is logged, a failed one shown in a box.
TEST(MonitorCommandTest, TemplateFromTheSettingsIsLaunchedAndAFailureShown) {
  test::ScratchKey scratch;
  auto settings = scratch.open();
  test::BoxRecorder boxes;
  test::CaptureSink log;
  g_started = "unchanged";
  runMonitorCommand(*settings, "SS", "START", 0, nullptr, recordStart);
  EXPECT_EQ(g_started, "");
  settings->writeText("MonitorCommand", "notify %2 %1");
  runMonitorCommand(*settings, "SS", "STOP", 0, nullptr, recordStart);
  EXPECT_EQ(g_started, "notify SS STOP");
  EXPECT_EQ(log.levelOf("Running Monitor Program: notify SS STOP"), Warning);
  EXPECT_TRUE(boxes.boxes.empty());

  launchMonitorCommand("missing.exe", recordStart);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "missing.exe");
  EXPECT_EQ(boxes.boxes[0].style, static_cast<uint32_t>(BoxOk | BoxIconWarning));
}

}  // namespace
}  // namespace veltraw
