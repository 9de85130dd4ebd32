#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/CoreFixture.h"

namespace veltraw::test {
namespace {

// A PC clock that gains 10 ms an hour reads 240 ms a day gained whatever the
// update period, though the core steps it back whenever it is more than 50 ms
// off: over periods that do not divide a day, once samples older than a day
// are dropped, and at a day's period with the timer a second late.
TEST_F(CoreTest, GainingClockShowsAsPositiveDrift) {
  configureServers(1);
  start();
  const struct {
    uint32_t periodS;
    int cycles;
  } runs[] = {{6 * 3600, 4}, {3600, 9}, {3600, 13}, {12 * 3600, 4}, {86401, 2}};
  for (const auto& run : runs) {
    app->applySettings();  // a fresh record
    int32_t pcAheadMs = 0;
    for (int cycle = 0; cycle <= run.cycles; ++cycle) {
      if (cycle > 0) {
        clock.advanceMs(run.periodS * 1000);
        pcAheadMs += static_cast<int32_t>(run.periodS / 360);
      }
      const size_t steps = clock.setTimes.size();
      app->onRequestResult(reply(0, Ok, -pcAheadMs, 10));
      if (clock.setTimes.size() > steps) pcAheadMs = 0;
    }
    EXPECT_EQ(drift(), 240) << run.periodS << " s x " << run.cycles;
  }
  EXPECT_EQ(clock.setTimes.size(), 13u);  // whenever 60 ms or more had built up
}

// What the PC clock did not do must never read as its drift: a correction the
// system refused, the gain from before "Reset Statistics", and the difference
// between the old primary and a new one, also when the old one's answer comes
// after the change. The PC keeps perfect time throughout, so every estimate is
// 0.
TEST_F(CoreTest, DriftIgnoresRefusedStepsResetsAndANewPrimary) {
  configureServers(1);
  clock.refuseSetting = true;
  start();
  auto sixHoursLater = [&](int32_t offsetMs) {
    clock.advanceMs(6 * 3600 * 1000);
    app->onRequestResult(reply(0, Ok, offsetMs, 10));
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
  answer(true);  // the old primary's series of the start, still out at the change
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
  constexpr int kThreads = 4, kResults = 200, kCycles = 20;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kResults; ++i)
        app->onRequestResult(i % 3 ? reply(t, Ok, i, 3) : failure(t));
    });
  }
  go = true;
  for (int i = 0; i < kCycles; ++i) {
    app->runUpdateCycle();
    answer(false);
  }
  for (auto& thread : threads) thread.join();
  int32_t total = 0;
  for (int t = 0; t < kThreads; ++t) {
    Histogram latency(1, 0, 1);
    deltas(t, &latency);
    total += latency.count;
  }
  // Two of every three results carry a reply; delivered failures add nothing.
  EXPECT_EQ(total, kThreads * (kResults - (kResults + 2) / 3));
  // Every result and every delivered failure ran the command, the start-up
  // cycle's too.
  EXPECT_EQ(commands.size(), size_t{kThreads * kResults + (kCycles + 1) * kThreads});
}

}  // namespace
}  // namespace veltraw::test
