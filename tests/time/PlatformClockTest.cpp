// The thread starter of the platform's clock.
#include <gtest/gtest.h>

#include <atomic>

#include "LIB/Time/PrecisionClock.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

TEST(StartThread, RunsTheProcedureWithItsArgumentAtEveryLevel) {
  test::CaptureSink sink;
  static std::atomic<int> ran;  // outlives a thread that starts late
  ran = 0;
  for (int level : {-3, -1, 0, 1, 2, 3, 7}) {
    EXPECT_TRUE(PrecisionClock::StartThread(
        "test", [](void* count) { ++*static_cast<std::atomic<int>*>(count); }, &ran, level))
        << level;
  }
  for (int wait = 0; wait < 2000 && ran < 7; ++wait) PrecisionClock::Sleep(10);
  EXPECT_EQ(ran, 7);
  // Lowering a thread's priority needs no privilege and is never refused.
  EXPECT_FALSE(sink.contains("Unable to set thread priority to -")) << sink.all();
  ReportRefusedPriority(3, "Access is denied. (0x00000005 / 5)");
  EXPECT_EQ(sink.levelOf("to 3:Access is denied. (0x00000005 / 5)"), Severe) << sink.all();
}

}  // namespace
}  // namespace veltraw
