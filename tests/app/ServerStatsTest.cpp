#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "AppTestSupport.h"
#include "app/ServerStats.h"

namespace veltraw {
namespace {

constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();

class ServerStatsTest : public ::testing::Test {
 protected:
  ServerStatsTest() : stats(clock) {
    stats.addServer("primary");
    stats.addServer("secondary");
  }
  Histogram get(int32_t index, bool latency) { return test::histogramOf(stats, index, latency); }
  int32_t drift() { return test::driftOf(stats); }

  test::FakeClock clock;
  ServerStats stats;
};

TEST_F(ServerStatsTest, SamplesLandInTheBinsOfTheirRangeWithIntegerMoments) {
  Histogram l = get(0, true);  // fresh: the reset values, nothing to average
  EXPECT_EQ(l.min, 2147483647);
  EXPECT_EQ(l.max, -2147483647);
  EXPECT_EQ(l.mean, 0.0f);
  for (int32_t roundTrip : {0, 49, 50, 499, 500, -1, 10, 20, 30, 45}) stats.add(1, 0, roundTrip);
  l = get(1, true);
  EXPECT_EQ(l.bins, (std::vector<int32_t>{6, 1, 0, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(l.above * 10 + l.below, 11);
  EXPECT_EQ(l.tallest, 6);
  EXPECT_EQ(l.mean, 120.0f);  // 1202 / 10, truncated
  // (507328*10 - 1202*1202) / 100 = 3628476 / 100 = 36284 in integers.
  EXPECT_FLOAT_EQ(l.stdDev, std::sqrt(36284.0f));

  for (int32_t d : {-250, -226, 0, 249, 250, -251}) stats.add(0, d, 10);
  const Histogram d = get(0, false);
  EXPECT_EQ(d.bins[0], 2);
  EXPECT_EQ(d.bins[10], 1);
  EXPECT_EQ(d.bins[19], 1);
  EXPECT_EQ(d.min, -251);
  EXPECT_EQ(d.max, 250);
}

TEST_F(ServerStatsTest, SamplesAtThe32BitExtremesKeepExactSums) {
  stats.add(1, kMin32, 0);
  EXPECT_EQ(get(1, false).max, kMin32);  // a lone lowest value is also the largest sample
  for (int i = 0; i < 999; ++i) stats.add(1, kMin32, 0);
  stats.add(1, kMax32, 0);
  const Histogram d = get(1, false);
  EXPECT_EQ(d.sum, int64_t{kMin32} * 1000 + kMax32);
  // Population deviation of 1000 x -2^31 and one 2^31-1.
  const long double n = 1001, mean = (1000.0L * kMin32 + kMax32) / n;
  const long double variance =
      (1000.0L * (kMin32 - mean) * (kMin32 - mean) + (kMax32 - mean) * (kMax32 - mean)) / n;
  EXPECT_NEAR(d.stdDev, std::sqrt(static_cast<double>(variance)), 1e-3 * d.stdDev);
}

TEST_F(ServerStatsTest, IndexesOutsideTheListAreRefusedAndOnlyThePrimaryDrifts) {
  for (int32_t bad : {-1, 2}) {
    EXPECT_THROW(stats.name(bad), std::runtime_error);
    Histogram d(1, 0, 1), l(1, 0, 1);
    EXPECT_FALSE(stats.add(bad, 1, 1));
    EXPECT_FALSE(stats.get(bad, d, l));
  }
  EXPECT_EQ(stats.name(1), "secondary");
  EXPECT_TRUE(stats.add(1, 5, 5, 99));
  EXPECT_EQ(stats.sampleCount(), 0u);
  EXPECT_TRUE(stats.add(0, 0, 5, 3));
  EXPECT_EQ(stats.sampleCount(), 1u);

  stats.reset();  // keeps the servers
  EXPECT_EQ(stats.count(), 2);
  EXPECT_EQ(get(0, true).count, 0);
  EXPECT_EQ(stats.sampleCount(), 0u);
  stats.clear();
  EXPECT_EQ(stats.count(), 0);
}

TEST_F(ServerStatsTest, DriftIsTheGainOverTheTimeItCoversScaledToADay) {
  int32_t value = 0;
  stats.add(0, 0, 10, 7);  // a gain from before the record: it starts the record only
  clock.advanceMs(10000);
  EXPECT_FALSE(stats.driftPerDay(value)) << "one sample covers no time";
  clock.advanceMs(2 * 86400000u);
  stats.add(0, 0, 10, 480);
  clock.advanceMs(3000);  // read later: the record ends at its last sample
  EXPECT_EQ(drift(), 240) << "two samples are never pruned";
  clock.advanceMs(86400000u - 3000);
  stats.add(0, 0, 10, 90);  // now the first is no longer needed to cover a day
  EXPECT_EQ(drift(), 90);
  EXPECT_EQ(stats.sampleCount(), 2u);

  // A clock changed by hand by hours, seen one second later.
  for (int32_t gain : {3600000, kMin32}) {
    stats.reset();
    stats.add(0, 0, 10, 0);
    clock.advanceMs(1000);
    stats.add(0, 0, 10, gain);
    EXPECT_EQ(drift(), gain > 0 ? kMax32 : kMin32);
  }

  // Two days of a primary asked every second, with nobody reading the
  // estimate: memory holds one day's samples, not every sample ever taken.
  for (int i = 0; i < 2 * 86400; ++i) {
    stats.add(0, 0, 10, 0);
    clock.advanceMs(1000);
  }
  EXPECT_LE(stats.sampleCount(), 86401u);
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

}  // namespace
}  // namespace veltraw
