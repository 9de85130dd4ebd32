#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "LIB/Time/PrecisionClock.h"
#include "time/SimulatedClockSource.h"
#include "support/CaptureSink.h"
#include "time/TimeTestSupport.h"

namespace veltraw {
namespace {

using test::CaptureSink;
using test::makeTime;
using test::SimulatedClockSource;

constexpr int64_t kSecond = SimulatedClockSource::kSecond;
constexpr int64_t kMs = 1000000;

// a - b in nanoseconds (to a fraction of a nanosecond).
double NsBetween(const TimeClass& a, const TimeClass& b) {
  const auto diff =
      static_cast<int64_t>((NtpTimestamp::FromCalendar(a) - NtpTimestamp::FromCalendar(b)).value());
  return static_cast<double>(diff) / 4294967296.0 * 1e9;
}

// 2006-03-05 12:00:00.4995: half a millisecond before a system-time tick.
class ClockTest : public ::testing::Test {
 protected:
  SimulatedClockSource source{makeTime(2006, 3, 5, 12, 0, 0), 499500000, 3579545};
};

TEST_F(ClockTest, AnchorsAtTheStartOfTheNextSystemTimeTick) {
  PrecisionClock clock(source);
  // The spin reads .499 until the tick to .500: 500 reads of 1 us each.
  EXPECT_EQ(source.systemTimeReads, 500);
  const TimeClass anchor = clock.SyncTime();
  EXPECT_EQ(anchor.hour(), 12);
  EXPECT_EQ(anchor.second(), 0);
  // 500 ms scaled with the truncated factor: slightly below one half.
  EXPECT_EQ(anchor.fraction, 0x7FFFFF6Cu);
  EXPECT_EQ(clock.Frequency(), 3579545);
  EXPECT_EQ(clock.SyncCounter(), 3579545 / 2000);  // the counter 500 us in
}

TEST_F(ClockTest, ExtrapolatesFromTheCounterToTheMicrosecond) {
  PrecisionClock clock(source);
  for (int64_t step : {int64_t{0}, 1234567 * int64_t{1000}, 17 * kSecond + 3, 12 * kSecond}) {
    source.Advance(step);
    const TimeClass now = clock.Now();
    EXPECT_NEAR(NsBetween(now, source.TrueSystemTime()), 0.0, 2000.0) << step;
    EXPECT_EQ(clock.NowNtp(), NtpTimestamp::FromCalendar(now));
  }
  // Readings past midnight and the month's end carry into the date.
  SimulatedClockSource late(makeTime(2004, 2, 29, 23, 59, 59), 999999000, 10000000);
  PrecisionClock lateClock(late);
  late.Advance(2 * kSecond);
  const TimeClass now = lateClock.Now();
  EXPECT_EQ(now.month(), 3);
  EXPECT_EQ(now.day(), 1);
  EXPECT_EQ(now.second(), 2);
}

TEST_F(ClockTest, ResynchronisesOnlyWhenMoreThanThirtyWholeSecondsHavePassed) {
  PrecisionClock clock(source);
  const int64_t anchor = clock.SyncCounter();
  const TimeClass anchorTime = clock.SyncTime();
  // Someone moves the system time; extrapolation does not see it yet.
  source.ShiftSystemTime(5 * kSecond);
  source.Advance(30 * kSecond + 900 * kMs);
  const int64_t reads = source.systemTimeReads;
  TimeClass now = clock.Now();
  EXPECT_EQ(clock.SyncCounter(), anchor);
  EXPECT_EQ(source.systemTimeReads, reads);
  EXPECT_NEAR(NsBetween(now, anchorTime), 30.9e9, 1000.0);

  source.Advance(100 * kMs);  // 31.0 s
  now = clock.Now();
  EXPECT_GT(clock.SyncCounter(), anchor);
  EXPECT_NEAR(NsBetween(now, source.TrueSystemTime()), 0.0, 2000.0);
  // 31 s, the 5 s shift, and up to a tick spent spinning to the new anchor.
  EXPECT_NEAR(NsBetween(now, anchorTime), 36.0e9, 2e6);
}

TEST_F(ClockTest, SetClockTruncatesToMillisecondsAndKeepsTheAnchor) {
  PrecisionClock clock(source);
  const int64_t anchor = clock.SyncCounter();
  const TimeClass before = clock.Now();

  clock.SetClock(makeTime(2006, 3, 5, 14, 7, 9, 0xFFFFFFFF));
  clock.SetClock(makeTime(2036, 2, 7, 6, 28, 16, 0x7FFFFF6C));
  ASSERT_EQ(source.settings.size(), 2u);
  const SystemTimeFields& first = source.settings[0];
  EXPECT_EQ(first.year, 2006);
  EXPECT_EQ(first.month, 3);
  EXPECT_EQ(first.day, 5);
  EXPECT_EQ(first.hour, 14);
  EXPECT_EQ(first.minute, 7);
  EXPECT_EQ(first.second, 9);
  EXPECT_EQ(first.milliseconds, 999);
  EXPECT_EQ(source.settings[1].milliseconds, 499);
  EXPECT_EQ(source.settings[1].year, 2036);

  // The new time shows only at the next synchronisation.
  EXPECT_EQ(clock.SyncCounter(), anchor);
  source.Advance(10 * kSecond);
  EXPECT_NEAR(NsBetween(clock.Now(), before), 10e9, 1000.0);
  source.Advance(21 * kSecond);
  const TimeClass after = clock.Now();
  EXPECT_EQ(after.year(), 2036);
  EXPECT_EQ(after.minute(), 28);
}

TEST_F(ClockTest, RefusedSettingIsLoggedAndNothingElse) {
  PrecisionClock clock(source);
  CaptureSink sink;
  source.refusal = "A required privilege is not held by the client. (0x00000522 / 1314)";
  clock.SetClock(makeTime(2006, 3, 5, 14, 7, 9));
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_NE(sink.lines[0].find("Unable to set system time: A required privilege is not held by "
                               "the client. (0x00000522 / 1314)"),
            std::string::npos);
  EXPECT_EQ(sink.levels[0], Fatal);
  EXPECT_EQ(source.settings.size(), 1u);  // no retry
}

TEST_F(ClockTest, WithoutCounterItLogsAndQuitsButReadingsStaySafe) {
  source.hasCounter = false;
  CaptureSink sink;
  PrecisionClock clock(source);
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_NE(sink.lines[0].find("Unable to get performance counter"), std::string::npos);
  EXPECT_EQ(sink.levels[0], Fatal);
  EXPECT_EQ(source.quitCalls, 1);
  // Something may still read before the message loop ends: the system time,
  // to the millisecond, rather than a division by zero.
  source.Advance(40 * kSecond);
  EXPECT_NEAR(NsBetween(clock.Now(), source.TrueSystemTime()), 0.0, 1e6);
}

TEST_F(ClockTest, CounterRunningBackwardsGivesNoNonsense) {
  PrecisionClock clock(source);
  source.Advance(kSecond);
  source.ShiftCounter(-500 * kMs);  // within the anchor's second: still extrapolated
  TimeClass now = clock.Now();
  EXPECT_NEAR(NsBetween(now, source.TrueSystemTime()), -500e6, 2000.0);
  source.ShiftCounter(-3 * kSecond);  // whole seconds behind the anchor: re-anchored
  const int64_t anchor = clock.SyncCounter();
  now = clock.Now();
  EXPECT_NEAR(NsBetween(now, source.TrueSystemTime()), 0.0, 2000.0);
  EXPECT_NE(clock.SyncCounter(), anchor);
}

TEST_F(ClockTest, ReadersOnSeveralThreadsSeeOneConsistentAnchor) {
  PrecisionClock clock(source);
  std::vector<std::thread> readers;
  std::vector<int> backwards(4, 0);
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&, t] {
      TimeClass last = clock.Now();
      for (int i = 0; i < 1000; ++i) {
        source.Advance(20 * kMs);  // 80 s over all threads: resynchronisations on the way
        const TimeClass now = clock.Now();
        // The anchor is the start of a tick read up to a microsecond late.
        if (NsBetween(now, last) < -2000.0) ++backwards[t];
        last = now;
      }
    });
  }
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(backwards, std::vector<int>(4, 0));
  const TimeClass now = clock.Now();
  EXPECT_NEAR(NsBetween(now, source.TrueSystemTime()), 0.0, 2000.0);
}

}  // namespace
}  // namespace veltraw
