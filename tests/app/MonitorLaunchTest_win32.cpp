// The real launch through WinExec.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "AppTestSupport.h"
#include "app/MonitorCommand.h"

namespace veltraw {
namespace {

using test::ScratchFile;

TEST(MonitorLaunchTest, ProgramThatCannotBeFoundIsShownInABox) {
  test::BoxRecorder boxes;
  launchMonitorCommand("veltraw-no-such-program.exe TO ntp1");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "veltraw-no-such-program.exe TO ntp1");
  EXPECT_EQ(boxes.boxes[0].caption, "Error launching monitor program");
  // An empty command line fails the same way, box included.
  launchMonitorCommand("");
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1].text, "");
}

TEST(MonitorLaunchTest, CommandLineStartsWithoutWaiting) {
  ScratchFile marker("launched");
  test::BoxRecorder boxes;
  launchMonitorCommand("cmd.exe /c echo TO ntp1>" + marker.path);
  bool written = false;
  for (int i = 0; i < 1000 && !written; ++i) {
    written = marker.contents().rfind("TO ntp1", 0) == 0;
    if (!written) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(written);
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
}  // namespace veltraw
