// The process's clock on the real system source (read only: nothing here
// ever sets the system clock) and the thread starter.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "LIB/Time/PrecisionClock.h"
#include "time/TimeTestSupport.h"

namespace veltraw {
namespace {

// The system clock, independently of the clock under test.
int64_t systemNsSince1900() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() +
         int64_t{2208988800} * 1000000000;
}

TEST(PlatformClock, FollowsTheSystemTime) {
  PrecisionClock& clock = PrecisionClock::Instance();
  EXPECT_EQ(&clock, &PrecisionClock::Instance());
  const int64_t first = test::nsSince1900(clock.Now());
  EXPECT_NEAR(first - systemNsSince1900(), 0, 1e9);
  PrecisionClock::Sleep(60);
  const int64_t elapsed = test::nsSince1900(clock.Now()) - first;
  EXPECT_GE(elapsed, 50000000);
  EXPECT_LT(elapsed, 5000000000);
}

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
