#include "app/SntpClientApp.h"

#include <shared_mutex>
#include <stdexcept>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/PrecisionClock.h"
#include "app/ClockStep.h"
#include "app/MessageBox.h"
#include "app/ServerDataFile.h"
#include "app/Settings.h"
#include "app/TrayStatusText.h"

namespace veltraw {

namespace {

// Bounds of the update period: never a busy loop, never a period that wraps.
constexpr int32_t kMinFrequencySeconds = 1;
constexpr int32_t kMaxFrequencySeconds = 86400;
// More servers than anyone configures; a hand-edited count beyond it would
// only make start-up read settings for a very long time.
constexpr int32_t kMaxServers = 1000;

// No reply at all: the server may be down or unreachable.
bool isFailure(NtpStatus status) { return status == NoResponse || status == Failed; }

// A series averages its good replies only: one whose every reply was bad (a
// kiss code, an unsynchronised server) measured nothing.
bool measured(const NtpResult& result) { return result.goodReplies > 0; }

int32_t iconFor(NtpStatus status) {
  switch (status) {
    case Ok:
      return IconGood;
    case BadReference:
      return IconBadReference;
    default:
      return IconNoResponse;
  }
}

int32_t saturate(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

// Request threads reach the core through a Link they share with it, so that a
// series still under way when the core goes away finds it gone instead of
// calling into freed memory.
struct SntpClientApp::Link {
  std::shared_mutex mutex;  // results hold it shared; the core's end holds it alone
  SntpClientApp* app = nullptr;
};

// The requests of one update cycle, so that its end is known. Guarded by
// m_resyncLock.
struct SntpClientApp::Cycle {
  int32_t outstanding = 0;
  bool anyAnswered = false;
  bool resync = false;  // run to resynchronise after a wake-up or a clock change
};

// What a request series carries as its context.
struct SntpClientApp::RequestContext {
  std::shared_ptr<Link> link;
  std::shared_ptr<Cycle> cycle;
  uint32_t serverList;  // m_serverList when the series started
};

SntpClientApp::SntpClientApp(const AppServices& services)
    : m_services(services),
      m_settings(services.settingsName, services.settingsDirectory),
      m_stats(*services.clock),
      m_corrector(services.askClockService),
      m_link(std::make_shared<Link>()) {
  m_link->app = this;
  try {
    m_services.shell->showIcon(IconGood);
    normalizeAdvancedSettings();
    applySettings();
    if (m_settings.read(setting::MonitorOnStartStop) != 0) {
      runMonitorCommand(m_settings, "SS", "START", 0, nullptr, m_services.startCommand);
    }
    runUpdateCycle();
  } catch (...) {
    // No destructor runs for a core that never finished starting.
    {
      std::unique_lock<std::shared_mutex> gone(m_link->mutex);
      m_link->app = nullptr;
    }
    stopTimer();
    closeOutputs();
    throw;
  }
}

SntpClientApp::~SntpClientApp() {
  {
    // Waits for results being handled right now; later ones find no core.
    std::unique_lock<std::shared_mutex> gone(m_link->mutex);
    m_link->app = nullptr;
  }
  if (m_settings.read(setting::MonitorOnStartStop) != 0) {
    runMonitorCommand(m_settings, "SS", "STOP", 0, nullptr, m_services.startCommand);
  }
  closeOutputs();
  stopTimer();
}

void SntpClientApp::normalizeAdvancedSettings() {
  for (const NumberSetting& value :
       {setting::SetClockOnceDriftExceeds, setting::AutoRoundTripThreshold,
        setting::AutoMaxRequests, setting::RoundTripLatencyClockRejectThreshold}) {
    m_settings.write(value, m_settings.read(value));
  }
}

bool SntpClientApp::needsServerPrompt() { return m_settings.read(setting::Server1).empty(); }

void SntpClientApp::promptForServer() {
  if (!needsServerPrompt()) return;
  MessageBoxRequest box;
  box.owner = m_services.shell->ownerWindow();
  box.text =
      "No time server is configured.  Would you like to automatically search your local network "
      "for one?";
  box.caption = kProductName;
  box.style = BoxYesNo;
  if (showMessageBox(box) == AnswerYes) m_services.shell->openServerSearch();
}

void SntpClientApp::closeOutputs() {
  if (m_logFileSink) {
    ErrorLog::instance().removeSink(m_logFileSink.get());
    m_logFileSink.reset();
  }
  serverDataFile().close();
}

void SntpClientApp::applySettings() {
  updateTrayText(Ok);
  closeOutputs();

  const std::string logFile = m_settings.read(setting::LogFile);
  if (!logFile.empty()) {
    try {
      m_logFileSink = std::make_unique<FileLogSink>(logFile, true);
    } catch (const std::runtime_error& failure) {
      // A log file out of reach (a removed drive, a deleted folder) is no
      // reason to stop keeping time: said at each application of the
      // settings, and done without until they change.
      ErrorLog::instance().begin(Error) << failure.what() << End;
      MessageBoxRequest box;
      box.text = failure.what();
      box.caption = kProductName;
      box.style = BoxOk | BoxIconWarning;
      m_services.shell->showNotice(box);
    }
  }
  if (m_logFileSink) {
    m_logFileSink->level = m_settings.read(setting::LogDetails) != 0 ? Detail : Warning;
    ErrorLog::instance().addSink(m_logFileSink.get());
  }
  const std::string dataFile = m_settings.read(setting::DataFile);
  if (!dataFile.empty()) serverDataFile().open(dataFile);

  stopTimer();
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_stats.clear();
    // The next primary (maybe another server) starts a new gain record; the
    // difference between two servers is no drift of the PC clock.
    m_gain.forget();
    ++m_serverList;
    int32_t servers = m_settings.read(setting::Servers);
    if (servers > kMaxServers) {
      ErrorLog::instance().begin(Warning)
          << "Servers " << servers << " is more than " << kMaxServers << "; using the first "
          << kMaxServers << End;
      servers = kMaxServers;
    }
    for (int32_t i = 1; i <= servers; ++i)
      m_stats.addServer(m_settings.readText(setting::serverValueName(i), ""));
    // Servers that refused service or asked to be asked less often get a
    // fresh start with the new settings.
    m_pacing.reset(servers);
  }
  startTimer();
  SetAutoRequestLimits(m_settings.read(setting::AutoRoundTripThreshold),
                       m_settings.read(setting::AutoMaxRequests));
}

uint32_t SntpClientApp::updatePeriodMs(int32_t frequencySeconds) {
  int32_t seconds = frequencySeconds;
  if (seconds < kMinFrequencySeconds) seconds = kMinFrequencySeconds;
  if (seconds > kMaxFrequencySeconds) seconds = kMaxFrequencySeconds;
  return static_cast<uint32_t>(seconds) * 1000u;
}

void SntpClientApp::startTimer() {
  if (m_timerRunning) return;
  const int32_t frequency = m_settings.read(setting::Frequency);
  const uint32_t period = updatePeriodMs(frequency);
  if (static_cast<int64_t>(period) != static_cast<int64_t>(frequency) * 1000) {
    ErrorLog::instance().begin(Warning) << "Frequency " << frequency << " s is out of range; using "
                                        << static_cast<int32_t>(period / 1000) << " s" << End;
  }
  ErrorLog::instance().begin(Trace) << "Setting timer to " << period << " ms" << End;
  m_timerRunning = m_services.shell->startTimer(period);
}

void SntpClientApp::stopTimer() {
  if (!m_timerRunning) return;
  m_services.shell->stopTimer();
  m_timerRunning = false;
}

void SntpClientApp::runUpdateCycle() { runCycle(false); }

void SntpClientApp::runCycle(bool resync) {
  struct Request {
    int32_t server;
    std::string host;
  };
  std::vector<Request> requests;
  uint32_t serverList = 0;
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    serverList = m_serverList;
    m_cyclePrimaryOffsetMs = 0;
    if (m_stats.count() == 0) {
      // Nothing will answer: "requesting" would stay on the icon for ever, a
      // failure shown as work in progress.
      m_services.shell->showIcon(IconNoResponse);
      m_services.shell->showTip(trayTipText(Requesting, "", m_shownOffsetMs));
      if (resync) {
        std::lock_guard<std::mutex> hold(m_resyncLock);
        m_resync.cancel();
      }
      return;
    }
    for (int32_t i = 0; i < m_stats.count(); ++i) {
      if (m_pacing.takeTurn(i)) {
        requests.push_back({i, m_stats.name(i)});
      } else if (m_pacing.refusal(i).empty()) {
        ErrorLog::instance().begin(Trace) << "Not asking " << m_stats.name(i)
                                          << " this time: it asked to be asked less often" << End;
      }
    }
    // A primary that refused service keeps showing so; one that is only
    // asked less often keeps its last result until it is asked again.
    if (!requests.empty() && requests[0].server == 0) {
      m_services.shell->showIcon(IconRequesting);
      updateTrayText(Requesting);
    }
  }
  auto cycle = std::make_shared<Cycle>();
  {
    std::lock_guard<std::mutex> hold(m_resyncLock);
    cycle->outstanding = static_cast<int32_t>(requests.size());
    cycle->resync = resync;
  }
  for (const Request& request : requests) {
    const int32_t count = request.server == 0 ? m_settings.read(setting::Requests) : 1;
    auto* context = new RequestContext{m_link, cycle, serverList};
    if (!m_services.startRequest(context, request.host, &SntpClientApp::requestDone, request.server,
                                 kReplyTimeoutMs, count)) {
      delete context;  // the series never started and will never report
      cycleResult(*cycle, false);
    }
  }
  if (requests.empty()) {
    std::lock_guard<std::mutex> hold(m_resyncLock);
    endCycle(*cycle);
  }
}

void SntpClientApp::requestDone(void* context, const NtpResult& result) {
  std::unique_ptr<RequestContext> request(static_cast<RequestContext*>(context));
  std::shared_lock<std::shared_mutex> alive(request->link->mutex);
  SntpClientApp* app = request->link->app;
  if (!app) return;
  app->handleResult(result, request->serverList);
  app->cycleResult(*request->cycle, !isFailure(result.status));
}

void SntpClientApp::cycleResult(Cycle& cycle, bool answered) {
  std::lock_guard<std::mutex> hold(m_resyncLock);
  cycle.anyAnswered = cycle.anyAnswered || answered;
  if (--cycle.outstanding == 0) endCycle(cycle);
}

void SntpClientApp::endCycle(const Cycle& cycle) {
  if (!cycle.resync) return;
  const int32_t attempt = m_resync.attempt();
  if (!m_resync.cycleEnded(cycle.anyAnswered)) {
    ErrorLog::instance().begin(cycle.anyAnswered ? Detail : Warning)
        << (cycle.anyAnswered ? "Resynchronised"
                              : "No server answered the resynchronisation; back to the normal "
                                "schedule")
        << End;
    return;
  }
  const uint32_t delay = ResyncSchedule::delayBeforeMs(m_resync.attempt());
  ErrorLog::instance().begin(Warning) << "No server answered resynchronisation attempt " << attempt
                                      << " (network not up yet?); trying again in "
                                      << static_cast<int32_t>(delay / 1000) << " s" << End;
  m_services.shell->startResyncTimer(delay);
}

void SntpClientApp::onSystemResumed() { requestResync("Woke from sleep"); }

void SntpClientApp::onSystemTimeChanged() {
  {
    std::lock_guard<std::mutex> hold(m_resyncLock);
    // The notice of a step this program made itself comes within moments.
    if (m_ownStepPending && m_services.shell->tickCount() - m_ownStepTick < kOwnStepNoticeMs) {
      m_ownStepPending = false;
      ErrorLog::instance().begin(Trace)
          << "The clock was changed by this program: no resynchronisation" << End;
      return;
    }
  }
  requestResync("The clock was changed by someone else");
}

void SntpClientApp::requestResync(const char* reason) {
  std::lock_guard<std::mutex> hold(m_resyncLock);
  if (!m_resync.request()) {
    ErrorLog::instance().begin(Trace)
        << reason << "; a resynchronisation is already pending" << End;
    return;
  }
  const uint32_t delay = ResyncSchedule::delayBeforeMs(1);
  ErrorLog::instance().begin(Warning)
      << reason << "; resynchronising in " << static_cast<int32_t>(delay / 1000) << " s" << End;
  m_services.shell->startResyncTimer(delay);
}

void SntpClientApp::onResyncTimer() {
  int32_t attempt = 0;
  {
    std::lock_guard<std::mutex> hold(m_resyncLock);
    if (!m_resync.waiting()) return;  // a late tick after the settings changed
    attempt = m_resync.startAttempt();
  }
  ErrorLog::instance().begin(Detail) << "Resynchronising: update cycle, attempt " << attempt
                                     << " of " << ResyncSchedule::kAttempts << End;
  runCycle(true);
}

void SntpClientApp::onRequestResult(const NtpResult& result) { handleResult(result, std::nullopt); }

void SntpClientApp::handleResult(const NtpResult& result, std::optional<uint32_t> serverList) {
  const int32_t server = result.tag;
  if (server < 0) return;  // not a series of ours
  {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_serverFailed.size() <= static_cast<size_t>(server)) {
      m_serverFailed.resize(static_cast<size_t>(server) + 1, 0);
    }
    // A series started before the settings changed measured the servers of
    // then: whatever now has its index, it says nothing about that server.
    const bool ofTheseServers = !serverList || *serverList == m_serverList;
    // The PC clock's own gain since the primary's previous good result, taken
    // before this result may correct the clock.
    std::optional<int32_t> clockGainMs;
    if (ofTheseServers && server == 0 && result.status == Ok) {
      clockGainMs = m_gain.primaryOffset(result.offsetMs);
    }
    if (takesClockFrom(result)) correctClockFrom(result);
    if (server == 0 && ofTheseServers) m_cyclePrimaryOffsetMs = result.offsetMs;
    if (server == 0) showPrimaryResult(result);
    if (ofTheseServers) recordStatistics(result, clockGainMs);
    runMonitorCondition(result);
    followPacingRequest(result);
    // A server that refused service is as good as silent: the next one takes
    // over the clock.
    const bool failing = isFailure(result.status) || !m_pacing.refusal(server).empty();
    m_serverFailed[static_cast<size_t>(server)] = failing ? 1 : 0;
  }
  if (result.hasPacket) serverDataFile().writeRow(result);
  m_services.shell->statisticsChanged();
}

bool SntpClientApp::takesClockFrom(const NtpResult& result) {
  if (result.status != Ok || !result.hasPacket) return false;
  // A secondary stands in only while the primary and every secondary before
  // it failed at their latest results.
  for (int32_t i = 0; i < result.tag; ++i) {
    if (m_serverFailed[static_cast<size_t>(i)] != 1) return false;
  }
  return result.roundTripMs < m_settings.read(setting::RoundTripLatencyClockRejectThreshold);
}

void SntpClientApp::correctClockFrom(const NtpResult& result) {
  if (result.tag != 0) {
    ErrorLog::instance().begin(Warning)
        << "Primary server not responsive: setting time off secondary server" << End;
    m_services.shell->showTip(fallbackTipText(
        m_settings.read(setting::Server1),
        m_settings.readText(setting::serverValueName(result.tag + 1), ""), m_shownOffsetMs));
  }
  {
    // Expected before the step: the system may announce it at once.
    std::lock_guard<std::mutex> hold(m_resyncLock);
    m_ownStepPending = true;
    m_ownStepTick = m_services.shell->tickCount();
  }
  const bool stepped =
      m_services.preciseClockStep
          ? correctClock(shiftedTime(m_services.clock->Now(), replyOffset(result)), result.offsetMs,
                         true, replyOffset(result), result.host)
          : applyClockCorrection(clockTargetTime(result), result.offsetMs, result.host);
  if (stepped) {
    m_gain.clockStepped(result.offsetMs);
  } else {
    std::lock_guard<std::mutex> hold(m_resyncLock);
    m_ownStepPending = false;
  }
}

TimeClass SntpClientApp::clockTargetTime(const NtpResult& result) {
  // The server's transmit time, plus half the round trip for the way back,
  // plus the time since the reply arrived.
  TimeClass time = result.packet.transmitTimestamp().ToCalendar();
  const int32_t halfTrip = result.roundTripMs / 2;
  if (halfTrip >= 0) {
    time.addMilliseconds(static_cast<uint32_t>(halfTrip));
  } else {
    time.subtractMilliseconds(static_cast<uint32_t>(-halfTrip));
  }
  const int64_t sinceArrival = RoundedMicroseconds(
      SignedDifference(NtpTimestamp::FromCalendar(m_services.clock->Now()), result.arrival));
  if (sinceArrival >= 0) {
    time.addMicroseconds(static_cast<uint64_t>(sinceArrival));
  } else {
    time.subtractMicroseconds(static_cast<uint64_t>(-sinceArrival));
  }
  return time;
}

void SntpClientApp::showPrimaryResult(const NtpResult& result) {
  m_services.shell->showIcon(iconFor(result.status));
  m_shownOffsetMs = result.offsetMs;
  if (result.status == Ok) m_lastGoodAt = m_services.localTime(m_services.clock->Now());
  const std::string code = ServerPacing::kissCode(result);
  if (code == "DENY" || code == "RSTR") {
    m_services.shell->showTip(refusedTipText(m_settings.read(setting::Server1), code));
  } else {
    updateTrayText(result.status);
  }
}

void SntpClientApp::followPacingRequest(const NtpResult& result) {
  const std::string change = m_pacing.onResult(result, m_settings.read(setting::Frequency));
  if (change.empty()) return;
  ErrorLog::instance().begin(result.status == Ok ? Detail : Warning) << change << End;
}

void SntpClientApp::recordStatistics(const NtpResult& result, std::optional<int32_t> clockGainMs) {
  if (!measured(result)) return;
  // Against the primary's offset of this cycle (0 while it has not reported).
  const int32_t deltaMs = saturate(int64_t{result.offsetMs} - m_cyclePrimaryOffsetMs);
  m_stats.add(result.tag, deltaMs, result.roundTripMs, clockGainMs);
}

void SntpClientApp::runMonitorCondition(const NtpResult& result) {
  const int32_t server = result.tag;
  if (server != 0 && m_settings.read(setting::MonitorPrimaryOnly) != 0) return;
  const bool wasFailing = m_serverFailed[static_cast<size_t>(server)] == 1;
  const NtpStatus status = result.status;
  const int32_t roundTripMs = result.roundTripMs;
  auto enabled = [&](const NumberSetting& condition) { return m_settings.read(condition) != 0; };
  // The first condition that holds runs the command, and only that one.
  const char* code = nullptr;
  if (enabled(setting::MonitorOnTimeout) && !wasFailing && isFailure(status)) {
    code = "TO";
  } else if (enabled(setting::MonitorOnBadRef) && !wasFailing && status == BadReference) {
    code = "BR";
  } else if (enabled(setting::MonitorOnLatency) &&
             roundTripMs > m_settings.read(setting::MonitorLatency)) {
    code = "LA";
  } else if (enabled(setting::MonitorOnRecovery) && wasFailing && status == Ok) {
    code = "RE";
  } else if (enabled(setting::MonitorOnAll)) {
    code = "EV";
  }
  if (!code) return;
  runMonitorCommand(m_settings, code, result.host, roundTripMs,
                    result.hasPacket ? &result.packet : nullptr, m_services.startCommand);
}

bool SntpClientApp::applyClockCorrection(const TimeClass& time, int32_t offsetMs,
                                         const std::string& server) {
  return correctClock(time, offsetMs, false, 0, server);
}

bool SntpClientApp::correctClock(const TimeClass& time, int32_t offsetMs, bool precise,
                                 NtpInterval fullOffset, const std::string& server) {
  m_clockNotCorrected = false;
  if (m_settings.read(setting::ReportOnly) != 0) return false;
  ErrorLog::instance().begin(Trace) << "Setting time " << time << End;
  const int64_t magnitude = offsetMs < 0 ? -int64_t{offsetMs} : int64_t{offsetMs};
  if (magnitude <= m_settings.read(setting::SetClockOnceDriftExceeds)) return false;
  ErrorLog::instance().begin(Detail) << "Jumping to correct time " << time << End;
  const NtpTimestamp decided = NtpTimestamp::FromCalendar(m_services.clock->Now());
  return stepClock(server, offsetMs, [&] {
    // Asking the service and logging took their time: a precise step reads
    // the clock again, at the moment the time to set has just passed a whole
    // millisecond; a plain one moves its time on by the time gone by.
    const NtpInterval since =
        SignedDifference(NtpTimestamp::FromCalendar(m_services.clock->Now()), decided);
    return m_services.clock->SetClock(precise ? alignedStepTime(*m_services.clock, fullOffset)
                                              : shiftedTime(time, since));
  });
}

bool SntpClientApp::stepClock(const std::string& server, int32_t offsetMs,
                              const std::function<bool()>& stepHere) {
  // Asked under the core's lock, so that two results never step at once; the
  // ask is bounded, and is made only when a step is due.
  ClockServiceRequest request;
  request.server = server;
  request.trayOffsetMs = offsetMs;
  request.maxRoundTripMs = m_settings.read(setting::RoundTripLatencyClockRejectThreshold);
  request.stepThresholdMs = m_settings.read(setting::SetClockOnceDriftExceeds);
  const ClockStepReport report = m_corrector.correct(request, stepHere);
  m_clockNotCorrected = report.outcome == ClockStepOutcome::CannotSet;
  if (!report.noticeText.empty()) {
    m_services.shell->showNotification(report.noticeTitle, report.noticeText);
  }
  return report.outcome == ClockStepOutcome::SteppedByService ||
         report.outcome == ClockStepOutcome::SteppedHere;
}

void SntpClientApp::resetStatistics() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_stats.reset();
  m_gain.forget();
}

void SntpClientApp::updateTrayText(int32_t status) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  const std::string primary = m_settings.read(setting::Server1);
  m_services.shell->showTip(status == Ok && m_clockNotCorrected
                                ? uncorrectedTipText(primary, m_shownOffsetMs)
                                : trayTipText(status, primary, m_shownOffsetMs, m_lastGoodAt));
}

int32_t SntpClientApp::shownOffsetMs() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  return m_shownOffsetMs;
}

void SntpClientApp::exitApplication() {
  setAutoLaunch(*m_services.runKey, m_settings.read(setting::Autostart) != 0,
                m_services.shell->ownerWindow());
  stopTimer();
  m_services.shell->postQuit();
}

}  // namespace veltraw
