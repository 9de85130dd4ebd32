#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/CoreFixture.h"

namespace veltraw::test {
namespace {

// A PC clock that gains 10 ms an hour, asked every 6 hours for a day, reads
// 240 ms a day gained, though the core steps it back at every cycle.
TEST_F(CoreTest, GainingClockShowsAsPositiveDrift) {
  configureServers(1);
  start();
  for (int cycle = 0; cycle < 5; ++cycle) {
    if (cycle > 0) clock.advanceMs(6 * 3600 * 1000);
    app->onRequestResult(reply(0, Ok, cycle > 0 ? -60 : 0, 10));
  }
  EXPECT_EQ(clock.setTimes.size(), 4u);
  EXPECT_EQ(drift(), 240);
}

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
