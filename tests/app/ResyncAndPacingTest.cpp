// Resynchronising after sleep or a clock change, and servers that ask to be
// asked less often or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app/CoreFixture.h"
#include "app/ServerPacing.h"

namespace veltraw::test {
namespace {

using Tags = std::vector<int32_t>;

TEST_F(CoreTest, WakeUpRetriesWhileTheNetworkIsDownThenGivesUp) {
  configureServers(2);
  start();
  answer(true);  // the start-up cycle
  CaptureSink log;
  for (int i = 0; i < 100; ++i) app->onSystemResumed();  // a storm: one resynchronisation
  EXPECT_EQ(shell.resyncDelays, (std::vector<uint32_t>{5000}));

  for (int attempt = 1; attempt <= ResyncSchedule::kAttempts; ++attempt) {
    app->onResyncTimer();
    EXPECT_EQ(answer(false), (Tags{0, 1})) << "attempt " << attempt;  // the network is not up yet
  }
  EXPECT_EQ(shell.resyncDelays, (std::vector<uint32_t>{5000, 10000, 20000, 40000}));
  EXPECT_TRUE(log.contains("back to the normal schedule"));
  app->onResyncTimer();  // a late tick: nothing
  EXPECT_TRUE(answer(false).empty());

  // Over: the next wake-up starts again, and one answer ends it.
  app->onSystemResumed();
  app->onResyncTimer();
  answer(true);
  EXPECT_EQ(shell.resyncDelays.size(), 5u);
  EXPECT_TRUE(log.contains("Resynchronised"));
}

TEST_F(CoreTest, OnlyAClockChangeOfSomeoneElseResynchronises) {
  configureServers(1);
  start();
  answer(false);
  app->onRequestResult(reply(0, Ok, 500, 10));  // this program steps the clock
  ASSERT_EQ(clock.setTimes.size(), 1u);
  app->onSystemTimeChanged();  // its own notice
  EXPECT_TRUE(shell.resyncDelays.empty());
  shell.tick += 60000;
  app->onSystemTimeChanged();  // someone else's, a minute later
  EXPECT_EQ(shell.resyncDelays, (std::vector<uint32_t>{5000}));

  // A refused step was no step: its would-be notice is someone else's.
  clock.refuseSetting = true;
  app->onResyncTimer();
  answer(true);
  app->onRequestResult(reply(0, Ok, 500, 10));
  app->onSystemTimeChanged();
  EXPECT_EQ(shell.resyncDelays.size(), 2u);
}

// Kiss codes: RATE halves how often the server is asked, good replies win it
// back, DENY and RSTR end its requests until the settings are applied again.
TEST_F(CoreTest, KissOfDeathCodesPaceOrStopAServer) {
  settings->writeNumber("Frequency", 900);
  configureServers(2);
  start();
  answer(true);
  auto kiss = [&](int32_t tag, const char* code) {
    NtpResult r = reply(tag, BadReference, 0, 5);
    r.packet.bytes[1] = 0;
    std::memcpy(r.packet.bytes + 12, code, 4);
    app->onRequestResult(r);
  };
  auto askedInCycle = [&] {
    app->runUpdateCycle();
    return answer(false);
  };

  CaptureSink log;
  kiss(1, "RATE");
  EXPECT_TRUE(log.contains("Server s1 asked to slow down (RATE); asking it every 1800 s"));
  EXPECT_EQ(askedInCycle(), (Tags{0}));
  EXPECT_EQ(askedInCycle(), (Tags{0, 1}));
  kiss(1, "RATE");
  kiss(1, "RATE");  // never slower than once an hour
  EXPECT_TRUE(log.contains("asking it every 3600 s"));
  app->onRequestResult(reply(1, Ok, 0, 5));
  EXPECT_TRUE(log.contains("Server s1 answered again; asking it every 1800 s"));

  kiss(0, "DENY");
  EXPECT_EQ(shell.lastIcon(), IconBadReference);
  for (int i = 0; i < 3; ++i) {
    for (int32_t tag : askedInCycle()) EXPECT_NE(tag, 0);
  }
  EXPECT_EQ(shell.lastTip(), "Veltraw s0 refused service (DENY)");
  // The secondary keeps the clock now.
  app->onRequestResult(reply(1, Ok, 300, 5));
  EXPECT_EQ(clock.setTimes.size(), 1u);

  app->applySettings();
  EXPECT_EQ(askedInCycle(), (Tags{0, 1}));
}

TEST(ServerPacing, AlternatingCodesStayBetweenTheScheduleAndAnHour) {
  NtpResult rate, good;
  rate.status = BadReference;
  good.status = Ok;
  rate.hasPacket = good.hasPacket = true;
  std::memcpy(rate.packet.bytes + 12, "RATE", 4);
  good.packet.bytes[1] = 2;
  for (const int32_t frequency : {1, 60, 900, 3600, 86400}) {
    ServerPacing pacing;
    pacing.reset(1);
    for (int i = 0; i < 40; ++i) {
      pacing.onResult(i % 3 == 2 ? good : rate, frequency);
      const int32_t cycles = pacing.cyclesPerRequest(0);
      EXPECT_GE(cycles, 1) << frequency;
      EXPECT_LE(int64_t{cycles} * frequency, std::max<int64_t>(3600, frequency)) << frequency;
    }
  }
}

}  // namespace
}  // namespace veltraw::test
