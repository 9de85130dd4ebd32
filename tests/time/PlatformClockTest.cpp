// The process's clock on the real system source (read only: nothing here
// ever sets the system clock) and the thread starter.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "LIB/Time/PrecisionClock.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

using test::CaptureSink;

// The system clock's time as an NTP timestamp, independently of the clock under test.
NtpTimestamp SystemNow() {
  const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
  const uint64_t seconds = static_cast<uint64_t>(since1970 / 1000000) + 2208988800u;
  const uint64_t fraction = (static_cast<uint64_t>(since1970 % 1000000) << 32) / 1000000;
  return NtpTimestamp::Make(static_cast<uint32_t>(seconds), static_cast<uint32_t>(fraction));
}

double SecondsBetween(NtpTimestamp a, NtpTimestamp b) {
  return static_cast<double>(static_cast<int64_t>((a - b).value())) / 4294967296.0;
}

TEST(PlatformClock, FollowsTheSystemTime) {
  PrecisionClock& clock = PrecisionClock::Instance();
  EXPECT_EQ(&clock, &PrecisionClock::Instance());
  EXPECT_GT(clock.Frequency(), 0);
  const NtpTimestamp first = clock.NowNtp();
  EXPECT_NEAR(SecondsBetween(first, SystemNow()), 0.0, 1.0);
  PrecisionClock::Sleep(60);
  const NtpTimestamp second = clock.NowNtp();
  EXPECT_GE(SecondsBetween(second, first), 0.050);
  EXPECT_LT(SecondsBetween(second, first), 5.0);
}

struct Handoff {
  std::mutex lock;
  std::condition_variable changed;
  int ran = 0;
};

void CountRun(void* argument) {
  auto* handoff = static_cast<Handoff*>(argument);
  std::lock_guard<std::mutex> hold(handoff->lock);
  ++handoff->ran;
  handoff->changed.notify_all();
}

TEST(StartThread, RunsTheProcedureWithItsArgumentAtEveryLevel) {
  Handoff handoff;
  const int levels[] = {-3, -1, 0, 1, 2, 3, 7};
  for (int level : levels) {
    EXPECT_TRUE(PrecisionClock::StartThread("test", CountRun, &handoff, level)) << level;
  }
  std::unique_lock<std::mutex> hold(handoff.lock);
  EXPECT_TRUE(
      handoff.changed.wait_for(hold, std::chrono::seconds(20), [&] { return handoff.ran == 7; }));
}

TEST(StartThread, RefusedPriorityIsASevereEntry) {
  CaptureSink sink;
  ReportRefusedPriority(3, "Access is denied. (0x00000005 / 5)");
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_NE(
      sink.lines[0].find("Unable to set thread priority to 3:Access is denied. (0x00000005 / 5)"),
      std::string::npos);
  EXPECT_EQ(sink.levels[0], Severe);
}

}  // namespace
}  // namespace veltraw
