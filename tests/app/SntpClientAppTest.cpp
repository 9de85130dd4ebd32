#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "app/CoreFixture.h"

namespace veltraw::test {
namespace {

TEST_F(CoreTest, StartNormalisesSettingsAndAsksEveryServerAtOnce) {
  configureServers(3);
  settings->writeNumber("Requests", 4);
  settings->writeNumber("AutoMaxRequests", 7);  // kept as it is
  CaptureSink log;
  start();
  EXPECT_FALSE(log.contains("out of range")) << "the default frequency is fine";
  EXPECT_EQ(settings->readNumber("SetClockOnceDriftExceeds", -1), 50);
  EXPECT_EQ(settings->readNumber("RoundTripLatencyClockRejectThreshold", -1), 100);
  EXPECT_EQ(AutoMaxRequests.load(), 7);
  EXPECT_EQ(AutoRoundTripThreshold.load(), 40);

  EXPECT_EQ(shell.icons, (std::vector<int32_t>{IconGood, IconRequesting}));
  EXPECT_EQ(shell.lastTip(), "Veltraw requesting from s0");
  std::vector<std::string> asked;  // host, tag, timeout and number of requests
  for (const StartedSeries& s : started) {
    asked.push_back(s.host + " " + std::to_string(s.tag) + " " + std::to_string(s.timeoutMs) + " " +
                    std::to_string(s.requestCount));
  }
  EXPECT_EQ(asked, (std::vector<std::string>{"s0 0 2500 4", "s1 1 2500 1", "s2 2 2500 1"}));
}

TEST_F(CoreTest, UnusableFrequenciesAreBoundedAndLogged) {
  const std::pair<int32_t, uint32_t> periods[] = {
      {60, 60000}, {86400, 86400000}, {0, 1000}, {4294968, 86400000}};  // x1000 would wrap
  for (const auto& [seconds, ms] : periods) EXPECT_EQ(SntpClientApp::updatePeriodMs(seconds), ms);

  settings->writeNumber("Frequency", 0);
  CaptureSink log;
  start();
  EXPECT_EQ(shell.timerPeriods, (std::vector<uint32_t>{1000}));
  EXPECT_EQ(log.levelOf("Frequency 0 s is out of range; using 1 s"), Warning);
}

TEST_F(CoreTest, NoServerMeansUnconfiguredAndAnOfferToSearch) {
  BoxRecorder boxes(AnswerYes);
  start();
  // Nothing asked, and nothing shown as under way: the no-response icon.
  EXPECT_TRUE(takeStarted().empty());
  EXPECT_EQ(shell.lastTip(), "Veltraw unconfigured");
  EXPECT_EQ(shell.lastIcon(), IconNoResponse);
  app->promptForServer();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].style, BoxYesNo);
  EXPECT_EQ(boxes.boxes[0].owner, &shell);
  EXPECT_EQ(shell.searches, 1);

  // What the search found is asked at once, as the shell applies it.
  setting::storeFoundServer(*settings, "found");
  app->applySettings();
  app->runUpdateCycle();
  const std::vector<StartedSeries> asked = takeStarted();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].host, "found");
  asked[0].callback(asked[0].context, failure(asked[0].tag));
  app->promptForServer();  // configured now: no question
  EXPECT_EQ(boxes.boxes.size(), 1u);
}

// The clock is set to the server's time: precisely, the PC's time at the step
// plus the last reply's offset; in the plain form, the transmit time plus half
// the whole-millisecond round trip plus the time since the reply arrived.
TEST_F(CoreTest, GoodPrimarySetsTheClockToTheServersTime) {
  configureServers(1);
  for (const bool precise : {false, true}) {
    app.reset();
    preciseStep = precise;
    clock.setTimes.clear();
    start();
    const NtpResult r = reply(0, Ok, -120, 30);
    clock.advanceMs(7);  // handled 7 ms after the reply arrived
    app->onRequestResult(r);
    ASSERT_EQ(clock.setTimes.size(), 1u);
    TimeClass expected = precise ? clock.Now() : r.packet.transmitTimestamp().ToCalendar();
    if (precise) expected.subtractMilliseconds(120);
    if (!precise) expected.addMilliseconds(15 + 7);
    const int64_t error = static_cast<int64_t>(
        (NtpTimestamp::FromCalendar(clock.setTimes[0]) - NtpTimestamp::FromCalendar(expected))
            .value());
    EXPECT_LT(std::abs(error), 4295) << "more than a microsecond off";
  }
  EXPECT_EQ(shell.lastIcon(), IconGood);
  EXPECT_EQ(shell.lastTip(), "Veltraw using s0\rPC fast by 120 ms");
  EXPECT_EQ(app->shownOffsetMs(), -120);
}

TEST_F(CoreTest, ClockThresholdsHoldAtTheirExactEdges) {
  configureServers(1);
  start();
  struct Case {
    int32_t offset, trip;
    bool logged, set;
  } cases[] = {
      {50, 30, true, false},  // equal to the drift threshold: leave the clock
      {-50, 30, true, false}, {51, 30, true, true},
      {-51, 30, true, true},  {500, 100, false, false},  // round trip at the reject threshold
      {500, 99, true, true},
  };
  for (const Case& c : cases) {
    CaptureSink log;
    clock.setTimes.clear();
    app->onRequestResult(reply(0, Ok, c.offset, c.trip));
    EXPECT_EQ(log.contains("Setting time "), c.logged) << c.offset << "/" << c.trip;
    EXPECT_EQ(clock.setTimes.size(), c.set ? 1u : 0u) << c.offset << "/" << c.trip;
  }

  settings->writeNumber("ReportOnly", 1);
  CaptureSink log;
  clock.setTimes.clear();
  app->onRequestResult(reply(0, Ok, 5000, 10));
  EXPECT_FALSE(log.contains("Setting time "));
  EXPECT_TRUE(clock.setTimes.empty());
}

// A due step goes to the clock service when it runs, else it is made here.
// When neither can make it, the log says so every time, the tooltip marks the
// offset and the user is told once per run.
TEST_F(CoreTest, ADueStepGoesToTheClockServiceOrIsMadeHere) {
  static ClockServiceAnswer answer;
  static std::vector<ClockServiceRequest> asked;
  askService = [](const ClockServiceRequest& request) {
    asked.push_back(request);
    return answer;
  };
  configureServers(1);
  start();
  using O = ClockServiceOutcome;
  const struct {
    int32_t offset;
    O outcome;
    bool refusedHere;
    size_t setHere;
    const char* logged;
    bool notCorrected;
  } cases[] = {
      {5000, O::Stepped, false, 0,
       "stepped the clock (status 0): its offset -0.250 ms, round trip 1.500 ms; ours 5000 ms", 0},
      {5000, O::NotStepped, false, 0, "The clock service left the clock alone", false},
      {5000, O::Absent, false, 1, "Jumping to correct time", false},
      {5000, O::Absent, true, 1, "Clock not corrected: the system refused our step", true},
      {5000, O::Refused, false, 0, "refused to step the clock from s0: not allowed", true},
      {5000, O::Failed, false, 0, "Clock not corrected: the clock service could not step", true},
      {50, O::Failed, false, 0, "Setting time", false},  // no step due: nothing asked
  };
  for (const auto& c : cases) {
    answer = {c.outcome, 0, -250, 1500, c.outcome == O::Refused ? "not allowed" : "denied"};
    clock.refuseSetting = c.refusedHere;
    clock.setTimes.clear();
    CaptureSink log;
    app->onRequestResult(reply(0, Ok, c.offset, 3));
    EXPECT_EQ(clock.setTimes.size(), c.setHere) << c.logged;
    EXPECT_TRUE(log.contains(c.logged)) << c.logged;
    EXPECT_EQ(shell.lastTip(), "Veltraw using s0\rPC slow by " + std::to_string(c.offset) + " ms" +
                                   (c.notCorrected ? ", not corrected" : ""));
  }
  ASSERT_EQ(asked.size(), 6u) << "the service is asked only when a step is due";
  EXPECT_EQ(std::make_tuple(asked[0].server, asked[0].trayOffsetMs, asked[0].maxRoundTripMs,
                            asked[0].stepThresholdMs),
            std::make_tuple(std::string("s0"), 5000, 100, 50));
  ASSERT_EQ(shell.notices.size(), 1u);
  EXPECT_NE(shell.notices[0].find("Install the Veltraw clock service, or run Veltraw as "
                                  "administrator"),
            std::string::npos);
}

TEST_F(CoreTest, PrimaryStatusesPickIconAndTooltip) {
  configureServers(2);
  start();
  const struct {
    NtpResult result;
    int32_t icon;
    const char* tip;
  } cases[] = {
      {failure(0, NoResponse), IconNoResponse, "Veltraw no response received from s0"},
      {failure(0, Failed), IconNoResponse, "Veltraw no response received from s0"},
      {reply(0, BadReference, 3, 3), IconBadReference, "Veltraw got bad time reference from s0"},
      {reply(0, Ok, -37, 3), IconGood, "Veltraw using s0\rPC fast by 37 ms at 14:07"},
      {failure(1), IconGood, "Veltraw using s0\rPC fast by 37 ms at 14:07"},  // a secondary
      {failure(0), IconNoResponse, "Veltraw no response received from s0"},
  };
  localTime = "14:07";  // when a good result came, in local time
  for (const auto& c : cases) {
    app->onRequestResult(c.result);
    EXPECT_EQ(shell.lastIcon(), c.icon) << c.tip;
    EXPECT_EQ(shell.lastTip(), c.tip);
  }
  EXPECT_TRUE(clock.setTimes.empty()) << "a bad reference never sets the clock";
}

TEST_F(CoreTest, SecondariesSetTheClockOnlyWhileEveryServerBeforeThemFails) {
  configureServers(3);
  CaptureSink log;
  start();
  // First cycle: the primary has not failed yet, so no secondary may set.
  app->onRequestResult(reply(1, Ok, 300, 20));
  EXPECT_TRUE(clock.setTimes.empty());
  app->onRequestResult(failure(0));

  // Second cycle: the primary failed last time.
  app->onRequestResult(reply(1, Ok, 300, 20));
  ASSERT_EQ(clock.setTimes.size(), 1u);
  EXPECT_EQ(log.levelOf("Primary server not responsive: setting time off secondary server"),
            Warning);
  // The offset line is the primary's, and a failed primary reported 0.
  EXPECT_EQ(
      std::count(shell.tips.begin(), shell.tips.end(), "Bad s0; using s1\rPC accurate to +/-1 ms"),
      1);

  // Secondary 2 while secondary 1 is fine: no setting from it.
  app->onRequestResult(reply(2, Ok, 300, 20));
  EXPECT_EQ(clock.setTimes.size(), 1u);
  // Once secondary 1 fails too, secondary 2 may.
  app->onRequestResult(failure(1, Failed));
  app->onRequestResult(reply(2, Ok, 300, 20));
  EXPECT_EQ(clock.setTimes.size(), 2u);
  // A bad reference is not a failure: it stops the fall-back behind it.
  app->onRequestResult(reply(1, BadReference, 0, 1));
  app->onRequestResult(reply(2, Ok, 300, 20));
  EXPECT_EQ(clock.setTimes.size(), 2u);
}

TEST_F(CoreTest, SecondaryDeltaIsMeasuredFromThePrimaryOfTheSameCycle) {
  configureServers(2);
  start();
  app->onRequestResult(reply(1, Ok, 40, 5));  // primary not in yet: minus 0
  app->onRequestResult(reply(0, Ok, 10, 5));
  app->onRequestResult(reply(1, Ok, 25, 5));  // 25 - 10
  NtpResult unmeasured = reply(1, BadReference, 0, 0);
  unmeasured.goodReplies = 0;  // every reply bad: nothing measured
  app->onRequestResult(unmeasured);
  app->onRequestResult(reply(1, Ok, INT32_MIN, 5));
  Histogram delta = deltas(1);
  EXPECT_EQ(delta.count, 3);
  EXPECT_EQ(delta.max, 40);
  EXPECT_EQ(delta.min, INT32_MIN);                      // saturated, not wrapped
  app->runUpdateCycle();                                // a new cycle starts from 0 again
  app->onRequestResult(reply(1, BadReference, 25, 5));  // averaged from its good replies
  EXPECT_EQ(deltas(1).sum, int64_t{40} + 15 + INT32_MIN + 25);

  // Series started before the settings changed measured the servers of then.
  const std::vector<StartedSeries> before = takeStarted();
  app->applySettings();
  app->runUpdateCycle();
  for (const StartedSeries& s : before) s.callback(s.context, reply(s.tag, Ok, 40, 5));
  app->onRequestResult(reply(1, Ok, 25, 5));
  EXPECT_EQ(deltas(1).sum, 25);
}

TEST_F(CoreTest, MonitorConditionsFireInOrderAndOnEdges) {
  configureServers(2);
  settings->writeText("MonitorCommand", "notify %2 %1 %3");
  settings->writeNumber("MonitorOnTimeout", 1);
  settings->writeNumber("MonitorOnRecovery", 1);
  start();
  for (int cycle = 0; cycle < 3; ++cycle) app->onRequestResult(failure(0));
  app->onRequestResult(reply(0, Ok, 1, 4));
  app->onRequestResult(reply(0, Ok, 1, 4));
  EXPECT_EQ(commands, (std::vector<std::string>{"notify TO s0 0", "notify RE s0 4"}));

  commands.clear();
  settings->writeNumber("MonitorOnLatency", 1);
  settings->writeNumber("MonitorLatency", 10);
  app->onRequestResult(reply(1, Ok, 1, 10));
  app->onRequestResult(reply(1, Ok, 1, 11));
  // A failure after a good result is a timeout first, latency second.
  app->onRequestResult(failure(1));
  EXPECT_EQ(commands, (std::vector<std::string>{"notify LA s1 11", "notify TO s1 0"}));

  commands.clear();
  settings->writeNumber("MonitorOnBadRef", 1);
  app->onRequestResult(reply(1, BadReference, 0, 1));  // after a failure: not BR
  app->onRequestResult(reply(1, BadReference, 0, 1));
  app->onRequestResult(reply(1, BadReference, 0, 1));
  app->onRequestResult(reply(1, Ok, 0, 1));  // recovery from a bad reference is no RE
  EXPECT_EQ(commands, (std::vector<std::string>{"notify BR s1 1", "notify BR s1 1"}));

  commands.clear();
  settings->writeNumber("MonitorPrimaryOnly", 1);
  settings->writeNumber("MonitorOnAll", 1);
  app->onRequestResult(failure(1));
  app->onRequestResult(reply(0, Ok, 0, 1));
  app->onRequestResult(failure(0, Failed));
  EXPECT_EQ(commands, (std::vector<std::string>{"notify EV s0 1", "notify TO s0 0"}));
}

// Exit records the Autostart choice in the machine's Run key, or, for a
// standard user who may not write it, in the user's own (without an error box
// at every Exit; an administrator's machine-wide entry stays in force).
TEST_F(CoreTest, ExitRecordsTheAutostartChoiceAndQuits) {
  settings->writeText("MonitorCommand", "run %2 %1");
  settings->writeNumber("MonitorOnStartStop", 1);
  BoxRecorder boxes;
  CaptureSink log;
  start();
  EXPECT_EQ(commands, (std::vector<std::string>{"run SS START"}));
  runKey.user[kAutoLaunchValueName] = "C:\\old\\Veltraw.exe";  // from a standard user's days
  app->exitApplication();  // Autostart missing: registers, machine-wide
  EXPECT_EQ(runKey.machine[kAutoLaunchValueName], RecordingRunKey::kExe);
  EXPECT_TRUE(runKey.user.empty()) << "a second entry would start a second instance";
  EXPECT_FALSE(shell.timerRunning);
  EXPECT_EQ(shell.quits, 1);

  settings->writeNumber("Autostart", 0);
  app->exitApplication();
  EXPECT_TRUE(runKey.machine.empty());
  app->exitApplication();  // nothing left to remove: a trace line, no box
  EXPECT_EQ(log.matching("No preexisting VeltrawNTPClient launch key").size(), 1u);

  runKey.standardUser = true;
  settings->writeNumber("Autostart", 1);
  app->exitApplication();
  EXPECT_EQ(runKey.user[kAutoLaunchValueName], RecordingRunKey::kExe);
  EXPECT_TRUE(runKey.machine.empty());
  EXPECT_FALSE(readAutoLaunchState(runKey).fixedByAdministrator());
  runKey.machine[kAutoLaunchValueName] = RecordingRunKey::kExe;
  settings->writeNumber("Autostart", 0);
  app->exitApplication();
  EXPECT_TRUE(runKey.user.empty());
  const AutoLaunchState state = readAutoLaunchState(runKey);
  EXPECT_TRUE(state.machineEntry && !state.userEntry && state.fixedByAdministrator());
  EXPECT_TRUE(boxes.boxes.empty());

  runKey.standardUser = false;
  runKey.openError = 2;
  app->exitApplication();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text.rfind("RegOpenKeyEx failed: ", 0), 0u);
  app.reset();
  EXPECT_EQ(commands.back(), "run SS STOP");
}

TEST_F(CoreTest, ResultsBeyondTheListOrAfterTheEndAreHarmless) {
  configureServers(2);
  start();
  // Servers the list no longer has, just past its end and far beyond.
  for (const int32_t tag : {2, 7}) app->onRequestResult(reply(tag, Ok, 500, 5));
  app->onRequestResult(failure(-1));
  EXPECT_EQ(shell.lastIcon(), IconRequesting);
  // Series still out when the core goes away report into nothing.
  app.reset();
  const int refreshes = shell.refreshes;
  answer(true);
  EXPECT_EQ(shell.refreshes, refreshes);
}

// The log file keeps what earlier runs wrote; one that cannot be opened is
// reported at each application of the settings, and time is kept without it.
TEST_F(CoreTest, TheLogFileIsAppendedToOrReportedAndDoneWithout) {
  ScratchFile logFile("core-log");
  std::ofstream(logFile.path, std::ios::binary) << "earlier\n";
  settings->writeText("LogFile", logFile.path);
  start();
  app.reset();
  EXPECT_EQ(logFile.contents().rfind("earlier\n", 0), 0u);

  const std::string nowhere = ::testing::TempDir() + "no/such/dir/veltraw.log";
  settings->writeText("LogFile", nowhere);
  configureServers(1);
  start();
  EXPECT_TRUE(shell.timerRunning);
  EXPECT_EQ(answer(true).size(), 1u);
  app->applySettings();
  const std::string text = "Cannot open log file for writing: " + nowhere;
  EXPECT_EQ(shell.notices, (std::vector<std::string>{text, text}));
}

}  // namespace
}  // namespace veltraw::test
