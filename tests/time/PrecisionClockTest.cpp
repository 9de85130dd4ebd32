#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "LIB/Time/PrecisionClock.h"
#include "support/CaptureSink.h"
#include "time/SimulatedClockSource.h"

namespace veltraw {
namespace {

using test::CaptureSink;
using test::makeTime;
using test::nsSince1900;
using test::SimulatedClockSource;

constexpr int64_t kSecond = SimulatedClockSource::kSecond;
constexpr int64_t kMs = 1000000;

// 2006-03-05 12:00:00.4995: half a millisecond before a system-time tick.
class ClockTest : public ::testing::Test {
 protected:
  // How far a reading of clock is from the simulated system time, in ns.
  int64_t ReadingError(PrecisionClock& clock) {
    const int64_t reading = nsSince1900(clock.Now());
    return reading - source.SystemNs();
  }
  SimulatedClockSource source{makeTime(2006, 3, 5, 12), 499500000, 3579545};
};

TEST_F(ClockTest, AnchorsAtTheStartOfTheNextSystemTimeTick) {
  PrecisionClock clock(source);
  // The spin reads .499 until the tick to .500: 500 reads of 1 us each.
  EXPECT_EQ(source.systemTimeReads, 500);
  // 500 ms scaled with the truncated factor: slightly below one half.
  EXPECT_EQ(clock.SyncTime(), makeTime(2006, 3, 5, 12, 0, 0, 0x7FFFFF6C));
  EXPECT_EQ(clock.Frequency(), 3579545);
  EXPECT_EQ(clock.SyncCounter(), 3579545 / 2000);  // the counter 500 us in
}

TEST_F(ClockTest, PreemptionAfterASystemTimeReadIsNoTick) {
  // From .4995 the first read sees .499; 1.3 ms pass before the counter is
  // read, so the next read's .500 is no tick just seen: the anchor waits for .501.
  source.stallAfterRead = 1;
  source.stallNs = 1300000;
  PrecisionClock clock(source);
  EXPECT_NEAR(ReadingError(clock), 0, 2000);
  EXPECT_EQ(clock.SyncTime(), makeTime(2006, 3, 5, 12, 0, 0, 501u * 4294967u));
}

TEST_F(ClockTest, ExtrapolatesFromTheCounterToTheMicrosecond) {
  PrecisionClock clock(source);
  for (int64_t step : {int64_t{0}, 1234567 * int64_t{1000}, 17 * kSecond + 3, 12 * kSecond}) {
    source.Advance(step);
    EXPECT_NEAR(ReadingError(clock), 0, 2000) << step;
  }
  EXPECT_EQ(clock.NowNtp(), NtpTimestamp::FromCalendar(clock.Now()));
}

TEST_F(ClockTest, ResynchronisesOnlyWhenMoreThanThirtyWholeSecondsHavePassed) {
  PrecisionClock clock(source);
  const int64_t anchor = clock.SyncCounter();
  const int64_t anchorNs = nsSince1900(clock.SyncTime());
  // Someone moves the system time; extrapolation does not see it yet.
  source.ShiftSystemTime(5 * kSecond);
  source.Advance(30 * kSecond + 900 * kMs);
  const int64_t reads = source.systemTimeReads;
  EXPECT_NEAR(nsSince1900(clock.Now()) - anchorNs, 30900 * kMs, 1000);
  EXPECT_EQ(clock.SyncCounter(), anchor);
  EXPECT_EQ(source.systemTimeReads, reads);

  source.Advance(100 * kMs);  // 31.0 s
  EXPECT_NEAR(ReadingError(clock), 0, 2000);
  EXPECT_GT(clock.SyncCounter(), anchor);
}

TEST_F(ClockTest, SetClockTruncatesToMillisecondsAndKeepsTheAnchor) {
  PrecisionClock clock(source);
  const int64_t anchor = clock.SyncCounter();
  const int64_t beforeNs = nsSince1900(clock.Now());
  EXPECT_TRUE(clock.SetClock(makeTime(2006, 3, 5, 14, 7, 9, 0xFFFFFFFF)));
  EXPECT_TRUE(clock.SetClock(makeTime(2036, 2, 7, 6, 28, 16, 0x7FFFFF6C)));
  ASSERT_EQ(source.settings.size(), 2u);
  const SystemTimeFields& f = source.settings[0];
  EXPECT_EQ((std::vector<int>{2006, 3, 5, 14, 7, 9, 999}),
            (std::vector<int>{f.year, f.month, f.day, f.hour, f.minute, f.second, f.milliseconds}));
  EXPECT_EQ(source.settings[1].milliseconds, 499);

  // The new time shows only at the next synchronisation.
  EXPECT_EQ(clock.SyncCounter(), anchor);
  source.Advance(10 * kSecond);
  EXPECT_NEAR(nsSince1900(clock.Now()) - beforeNs, 10 * kSecond, 1000);
  source.Advance(21 * kSecond);
  EXPECT_NEAR(ReadingError(clock), 0, 2000);
  EXPECT_EQ(clock.Now().year(), 2036);
}

TEST_F(ClockTest, RefusedSettingIsLoggedOnceAndReported) {
  PrecisionClock clock(source);
  CaptureSink sink;
  source.refusal = "A required privilege is not held by the client. (0x00000522 / 1314)";
  EXPECT_FALSE(clock.SetClock(makeTime(2006, 3, 5, 14, 7, 9)));
  EXPECT_EQ(sink.levels, std::vector<int32_t>{Fatal});
  EXPECT_TRUE(sink.contains("Unable to set system time: " + source.refusal)) << sink.all();
  EXPECT_EQ(source.settings.size(), 1u);  // no retry
}

TEST_F(ClockTest, WithoutCounterItLogsAndQuitsButReadingsStaySafe) {
  source.hasCounter = false;
  CaptureSink sink;
  PrecisionClock clock(source);
  EXPECT_EQ(sink.levels, std::vector<int32_t>{Fatal});
  EXPECT_TRUE(sink.contains("Unable to get performance counter")) << sink.all();
  EXPECT_EQ(source.quitCalls, 1);
  // Something may still read before the message loop ends: the system time,
  // to the millisecond, rather than a division by zero.
  source.Advance(40 * kSecond);
  EXPECT_NEAR(ReadingError(clock), 0, kMs);
}

TEST_F(ClockTest, CounterRunningBackwardsGivesNoNonsense) {
  PrecisionClock clock(source);
  source.Advance(kSecond);
  source.ShiftCounter(-500 * kMs);  // within the anchor's second: still extrapolated
  EXPECT_NEAR(ReadingError(clock), -500 * kMs, 2000);
  source.ShiftCounter(-3 * kSecond);  // whole seconds behind the anchor: re-anchored
  const int64_t anchor = clock.SyncCounter();
  EXPECT_NEAR(ReadingError(clock), 0, 2000);
  EXPECT_NE(clock.SyncCounter(), anchor);
}

TEST_F(ClockTest, ReadersOnSeveralThreadsSeeOneConsistentAnchor) {
  PrecisionClock clock(source);
  std::vector<std::thread> readers;
  std::vector<int> backwards(4, 0);
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&, t] {
      int64_t last = nsSince1900(clock.Now());
      for (int i = 0; i < 1000; ++i) {
        source.Advance(20 * kMs);  // 80 s over all threads: resynchronisations on the way
        const int64_t now = nsSince1900(clock.Now());
        // The anchor is the start of a tick read up to a microsecond late.
        if (now - last < -2000) ++backwards[t];
        last = now;
      }
    });
  }
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(backwards, std::vector<int>(4, 0));
  EXPECT_NEAR(ReadingError(clock), 0, 2000);
}

}  // namespace
}  // namespace veltraw
