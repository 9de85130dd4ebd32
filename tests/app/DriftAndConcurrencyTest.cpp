#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/CoreFixture.h"

namespace veltraw::test {
namespace {

// A PC clock that gains 10 ms an hour, asked every 6 hours for a day. The
// drift estimate reads 240 ms a day gained, whether the core corrects the
// clock at every cycle or only reports.
class DriftTest : public CoreTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DriftTest, GainingClockShowsAsPositiveDrift) {
  const bool reportOnly = GetParam();
  configureServers(1);
  settings->writeNumber("ReportOnly", reportOnly ? 1 : 0);
  start();
  int32_t pcAheadMs = 0;  // how far the PC clock is ahead of true time
  for (int cycle = 0; cycle < 5; ++cycle) {
    const size_t setsBefore = clock.setTimes.size();
    app->onRequestResult(reply(0, Ok, -pcAheadMs, 10));
    if (clock.setTimes.size() > setsBefore) pcAheadMs = 0;  // stepped to the server's time
    if (cycle < 4) {
      clock.advanceMs(6 * 3600 * 1000);
      pcAheadMs += 60;
    }
  }
  EXPECT_EQ(clock.setTimes.size(), reportOnly ? 0u : 4u);
  int32_t drift = 0;
  {
    std::lock_guard<std::recursive_mutex> hold(app->lock());
    ASSERT_TRUE(app->stats().driftPerDay(drift));
  }
  EXPECT_EQ(drift, 240);
}

INSTANTIATE_TEST_SUITE_P(SetOrReportOnly, DriftTest, ::testing::Bool());

// What the PC clock did not do must never read as its drift: a correction the
// system refused, the gain from before "Reset Statistics", and the difference
// between the old primary and a new one. The PC keeps perfect time throughout,
// so every estimate is 0 (before the mends they read -800, -400 and -1200
// ms/day).
TEST_F(CoreTest, DriftIgnoresRefusedStepsResetsAndANewPrimary) {
  configureServers(1);
  clock.refuseSetting = true;
  start();
  auto sixHoursLater = [&](int32_t offsetMs) {
    clock.advanceMs(6 * 3600 * 1000);
    app->onRequestResult(reply(0, Ok, offsetMs, 10));
  };
  auto drift = [&] {
    int32_t value = -1;
    std::lock_guard<std::recursive_mutex> hold(app->lock());
    EXPECT_TRUE(app->stats().driftPerDay(value));
    return value;
  };

  app->onRequestResult(reply(0, Ok, 200, 10));  // the server 200 ms ahead, steadily
  sixHoursLater(200);
  EXPECT_EQ(clock.setTimes.size(), 2u);  // asked to step, refused each time
  EXPECT_EQ(drift(), 0);

  app->resetStatistics();
  sixHoursLater(600);  // someone else moved the clock meanwhile
  sixHoursLater(600);
  EXPECT_EQ(drift(), 0);

  settings->writeText("Server1", "another");
  app->applySettings();
  sixHoursLater(-100);
  sixHoursLater(-100);
  EXPECT_EQ(drift(), 0);
}

// Results of many series arrive at once on their own threads while the main
// thread starts cycles; the core's state stays whole (run under TSan too).
TEST_F(CoreTest, ConcurrentResultsKeepTheStateWhole) {
  configureServers(4);
  settings->writeText("MonitorCommand", "m %2");
  settings->writeNumber("MonitorOnAll", 1);
  start();
  constexpr int kThreads = 4;
  constexpr int kResults = 200;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kResults; ++i) {
        NtpResult r = i % 3 ? reply(t, Ok, i, 3) : failure(t);
        app->onRequestResult(r);
      }
    });
  }
  go = true;
  for (int i = 0; i < 20; ++i) {
    app->runUpdateCycle();
    deliverAll();
  }
  for (auto& thread : threads) thread.join();
  Histogram delta(1, 0, 1), latency(1, 0, 1);
  std::lock_guard<std::recursive_mutex> hold(app->lock());
  int32_t total = 0;
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_TRUE(app->stats().get(t, delta, latency));
    total += latency.count;
  }
  // Two of every three results carry a reply; delivered failures add nothing.
  EXPECT_EQ(total, kThreads * (kResults - (kResults + 2) / 3));
  EXPECT_EQ(commands().size(), size_t{kThreads * kResults + (20 + 1) * 4});  // start-up cycle too
}

}  // namespace
}  // namespace veltraw::test
