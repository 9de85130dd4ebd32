#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "AppTestSupport.h"
#include "app/ServerStats.h"

namespace veltraw {
namespace {

using test::FakeClock;
using test::CaptureSink;

constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();

class ServerStatsTest : public ::testing::Test {
 protected:
  ServerStatsTest() : stats(clock) {
    stats.addServer("primary");
    stats.addServer("secondary");
  }
  Histogram delta(int32_t index) {
    Histogram d(1, 0, 1), l(1, 0, 1);
    EXPECT_TRUE(stats.get(index, d, l));
    return d;
  }
  Histogram latency(int32_t index) {
    Histogram d(1, 0, 1), l(1, 0, 1);
    EXPECT_TRUE(stats.get(index, d, l));
    return l;
  }

  FakeClock clock;
  ServerStats stats;
};

TEST_F(ServerStatsTest, SamplesLandInTheBinsOfTheirRange) {
  for (int32_t roundTrip : {0, 49, 50, 499, 500, -1}) stats.add(1, 0, roundTrip);
  const Histogram l = latency(1);
  EXPECT_EQ(l.bins.size(), 10u);
  EXPECT_EQ(l.bins[0], 2);
  EXPECT_EQ(l.bins[1], 1);
  EXPECT_EQ(l.bins[9], 1);
  EXPECT_EQ(l.above, 1);
  EXPECT_EQ(l.below, 1);
  EXPECT_EQ(l.count, 6);
  EXPECT_EQ(l.tallest, 2);

  for (int32_t d : {-250, -226, 0, 249, 250, -251}) stats.add(0, d, 10);
  const Histogram d = delta(0);
  EXPECT_EQ(d.bins.size(), 20u);
  EXPECT_EQ(d.bins[0], 2);
  EXPECT_EQ(d.bins[10], 1);
  EXPECT_EQ(d.bins[19], 1);
  EXPECT_EQ(d.above, 1);
  EXPECT_EQ(d.below, 1);
  EXPECT_EQ(d.min, -251);
  EXPECT_EQ(d.max, 250);
}

TEST_F(ServerStatsTest, MeanAndDeviationComeFromIntegerQuotients) {
  // Fresh: the reset values, and nothing to average.
  Histogram l = latency(0);
  EXPECT_EQ(l.min, 2147483647);
  EXPECT_EQ(l.max, -2147483647);
  EXPECT_EQ(l.mean, 0.0f);
  EXPECT_EQ(l.stdDev, 0.0f);
  EXPECT_EQ(l.tallest, 0);

  stats.add(0, 0, 1);
  stats.add(0, 0, 2);
  l = latency(0);
  EXPECT_EQ(l.mean, 1.0f);    // 3 / 2
  EXPECT_EQ(l.stdDev, 0.0f);  // (5*2 - 9) / 4 = 0

  stats.add(1, 0, 10);
  stats.add(1, 0, 20);
  stats.add(1, 0, 30);
  stats.add(1, 0, 45);
  l = latency(1);
  EXPECT_EQ(l.sum, 105);
  EXPECT_EQ(l.mean, 26.0f);  // 105 / 4, truncated
  // (3425*4 - 105*105) / 16 = 2675 / 16 = 167 in integers.
  EXPECT_FLOAT_EQ(l.stdDev, std::sqrt(167.0f));
}

TEST_F(ServerStatsTest, SamplesAtThe32BitExtremesKeepExactSums) {
  stats.add(1, kMin32, 0);
  Histogram d = delta(1);
  EXPECT_EQ(d.min, kMin32);
  EXPECT_EQ(d.max, kMin32);  // a lone lowest value is also the largest sample

  for (int i = 0; i < 999; ++i) stats.add(1, kMin32, 0);
  d = delta(1);
  EXPECT_EQ(d.sum, int64_t{kMin32} * 1000);
  EXPECT_EQ(d.mean, static_cast<float>(kMin32));
  EXPECT_EQ(d.stdDev, 0.0f);
  EXPECT_EQ(d.below, 1000);

  stats.add(1, kMax32, 0);
  d = delta(1);
  EXPECT_EQ(d.max, kMax32);
  EXPECT_EQ(d.above, 1);
  // Population deviation of 1000 x -2^31 and one 2^31-1.
  const long double n = 1001, mean = (1000.0L * kMin32 + kMax32) / n;
  const long double variance =
      (1000.0L * (kMin32 - mean) * (kMin32 - mean) + (kMax32 - mean) * (kMax32 - mean)) / n;
  EXPECT_NEAR(d.stdDev, std::sqrt(static_cast<double>(variance)), 1e-3 * d.stdDev);
}

TEST_F(ServerStatsTest, ServerListRefusesIndexesOutsideIt) {
  EXPECT_EQ(stats.count(), 2);
  EXPECT_EQ(stats.name(1), "secondary");
  for (int32_t bad : {-1, 2}) {
    try {
      stats.name(bad);
      FAIL() << "no exception for index " << bad;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Server Index Out of Range");
    }
    Histogram d(1, 0, 1), l(1, 0, 1);
    EXPECT_FALSE(stats.add(bad, 1, 1));
    EXPECT_FALSE(stats.get(bad, d, l));
    EXPECT_EQ(d.bins.size(), 1u);  // untouched
  }
  EXPECT_EQ(stats.sampleCount(), 0u);
  // Only the primary's results become drift samples.
  EXPECT_TRUE(stats.add(1, 5, 5, 99));
  EXPECT_EQ(stats.sampleCount(), 0u);
  EXPECT_TRUE(stats.add(0, 0, 5, 3));
  EXPECT_EQ(stats.sampleCount(), 1u);
}

TEST_F(ServerStatsTest, ResetKeepsServersAndClearForgetsThem) {
  stats.add(0, 0, 60, 4);
  stats.add(1, 30, 70);
  stats.reset();
  EXPECT_EQ(stats.count(), 2);
  EXPECT_EQ(latency(0).count, 0);
  EXPECT_EQ(latency(0).bins[1], 0);
  EXPECT_EQ(delta(1).max, -2147483647);
  EXPECT_EQ(stats.sampleCount(), 0u);
  int32_t drift = 0;
  EXPECT_FALSE(stats.driftPerDay(drift));

  stats.add(0, 0, 60, 4);
  CaptureSink log;
  stats.clear();
  EXPECT_EQ(log.levelOf("Delete Stats Called"), Detail);
  EXPECT_EQ(stats.count(), 0);
  EXPECT_EQ(stats.sampleCount(), 0u);
  Histogram d(1, 0, 1), l(1, 0, 1);
  EXPECT_FALSE(stats.get(0, d, l));
}

TEST_F(ServerStatsTest, DriftScalesTheSumToWholeDays) {
  int32_t drift = 0;
  stats.add(0, 0, 10, 7);
  EXPECT_FALSE(stats.driftPerDay(drift)) << "same second: not enough data";
  clock.advanceMs(10000);
  ASSERT_TRUE(stats.driftPerDay(drift));
  EXPECT_EQ(drift, 8640 * 7);

  stats.add(0, 0, 10, -3);
  clock.advanceMs(2 * 86400000u);
  ASSERT_TRUE(stats.driftPerDay(drift)) << "two samples are never pruned";
  EXPECT_EQ(drift, 0) << "more than a day: the quotient is 0";
  EXPECT_EQ(stats.sampleCount(), 2u);

  // With three, those older than a day go.
  stats.add(0, 0, 10, 5);
  clock.advanceMs(4000);
  ASSERT_TRUE(stats.driftPerDay(drift));
  EXPECT_EQ(stats.sampleCount(), 1u);
  EXPECT_EQ(drift, 21600 * 5);
}

TEST_F(ServerStatsTest, SamplesOlderThanADayGoAsNewOnesArrive) {
  // Two days of a primary asked every second, with nobody reading the
  // estimate: memory holds one day's samples, not every sample ever taken.
  for (int i = 0; i < 2 * 86400; ++i) {
    stats.add(0, 0, 10, 0);
    clock.advanceMs(1000);
  }
  EXPECT_LE(stats.sampleCount(), 86401u);
  EXPECT_GE(stats.sampleCount(), 86400u);
}

TEST_F(ServerStatsTest, DriftHoldsAtThe32BitLimits) {
  // A clock changed by hand by hours, seen one second later.
  stats.add(0, 0, 10, 3600000);
  stats.add(0, 0, 10, 3600000);
  clock.advanceMs(1000);
  int32_t drift = 0;
  ASSERT_TRUE(stats.driftPerDay(drift));
  EXPECT_EQ(drift, kMax32);
  stats.reset();
  stats.add(0, 0, 10, kMin32);
  stats.add(0, 0, 10, kMin32);
  clock.advanceMs(1000);
  ASSERT_TRUE(stats.driftPerDay(drift));
  EXPECT_EQ(drift, kMin32);
}

TEST(ClockGainTrackerTest, GainIsTheNegatedOffsetChangeWithoutCorrections) {
  ClockGainTracker tracker;
  EXPECT_EQ(tracker.primaryOffset(-20), 0) << "nothing to compare the first offset with";
  EXPECT_EQ(tracker.primaryOffset(-32), 12) << "server fell behind: the PC gained";
  tracker.clockStepped(-32);  // PC set back to the server's time
  EXPECT_EQ(tracker.primaryOffset(-5), 5);
  EXPECT_EQ(tracker.primaryOffset(3), -8) << "server moved ahead: the PC lost";
  tracker.forget();
  EXPECT_EQ(tracker.primaryOffset(400), 0);
  EXPECT_EQ(tracker.primaryOffset(kMin32), kMax32);
}

// A PC clock that runs off at a known rate, measured once a minute for six
// hours against a perfect server; the estimate must come out at that rate
// whether the clock is corrected on the way or only watched.
struct DriftCase {
  int32_t gainPerMinuteMs;
  bool reportOnly;
};

class DriftScenarioTest : public ::testing::TestWithParam<DriftCase> {};

TEST_P(DriftScenarioTest, EstimateFollowsTheRateOfThePcClock) {
  const DriftCase scenario = GetParam();
  FakeClock pcClock;  // what the PC reads; the server is always right
  ServerStats stats(pcClock);
  stats.addServer("primary");
  ClockGainTracker tracker;
  int64_t pcAheadMs = 0;
  int32_t steps = 0;

  for (int minute = 1; minute <= 360; ++minute) {
    const int32_t rate = scenario.gainPerMinuteMs;
    if (rate >= 0) {
      pcClock.advanceMs(60000u + static_cast<uint32_t>(rate));
    } else {
      pcClock.advanceMs(60000u - static_cast<uint32_t>(-rate));
    }
    pcAheadMs += rate;
    const int32_t offset = static_cast<int32_t>(-pcAheadMs);  // server minus PC

    const int32_t gain = tracker.primaryOffset(offset);
    if (!scenario.reportOnly && std::abs(offset) > 50) {
      // The clock is set to the server's time.
      if (offset < 0) pcClock.now.subtractMilliseconds(static_cast<uint32_t>(-offset));
      if (offset > 0) pcClock.now.addMilliseconds(static_cast<uint32_t>(offset));
      pcAheadMs += offset;
      tracker.clockStepped(offset);
      ++steps;
    }
    stats.add(0, 0, 20, gain);
  }
  EXPECT_EQ(steps > 0, !scenario.reportOnly);

  int32_t drift = 0;
  ASSERT_TRUE(stats.driftPerDay(drift));
  const double expected = scenario.gainPerMinuteMs * 1440.0;
  EXPECT_NEAR(drift, expected, std::abs(expected) * 0.01);
  // The statistics dialog reads a negative estimate as losing.
  EXPECT_EQ(drift > 0, scenario.gainPerMinuteMs > 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, DriftScenarioTest,
                         ::testing::Values(DriftCase{10, true}, DriftCase{10, false},
                                           DriftCase{-7, true}, DriftCase{-7, false}));

}  // namespace
}  // namespace veltraw
