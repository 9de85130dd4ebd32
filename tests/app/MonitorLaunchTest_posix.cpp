// The real launch through the shell.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "AppTestSupport.h"
#include "app/MonitorCommand.h"

namespace veltraw {
namespace {

using test::ScratchFile;

bool waitForContents(const ScratchFile& file, const std::string& expected) {
  for (int i = 0; i < 3000; ++i) {  // up to 30 s: only a failure waits that long
    if (file.contents() == expected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(MonitorLaunchTest, CommandLineRunsThroughTheShellWithoutWaiting) {
  ScratchFile marker("launched");
  test::BoxRecorder boxes;

  const auto start = std::chrono::steady_clock::now();
  // Off our output, so that nothing waits on it for those seconds. A launch
  // that waited would take all 30; however loaded the machine, one that does
  // not is done long before half of that.
  launchMonitorCommand("exec >/dev/null 2>&1; sleep 30");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  launchMonitorCommand("echo TO ntp1 > " + marker.path);
  EXPECT_TRUE(waitForContents(marker, "TO ntp1\n"));
  EXPECT_TRUE(boxes.boxes.empty());

  // The shell was handed on to init: nothing is left for us to reap.
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(MonitorLaunchTest, CommandFailuresAreTheShellsBusiness) {
  // The shell started; how the command then ends is not a launch failure.
  EXPECT_TRUE(startCommandLine("exit 3"));
  EXPECT_TRUE(startCommandLine(""));
}

}  // namespace
}  // namespace veltraw
