// The time-keeping core: the server list and its statistics, the update
// schedule, the handling of every result with the decision to set the clock,
// the tooltip, the monitor conditions, the log and data files. Plain code: the
// window, the clock, the request threads and the message boxes reach it
// through seams, so every rule here runs in tests without a desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LIB/Log/LogSinks.h"
#include "LIB/Registry/SettingsKey.h"
#include "app/AppShell.h"
#include "app/AutoLaunch.h"
#include "app/ClockCorrector.h"
#include "app/LocalTime.h"
#include "app/MonitorCommand.h"
#include "app/ResyncSchedule.h"
#include "app/ServerPacing.h"
#include "app/ServerStats.h"
#include "app/Settings.h"
#include "sntp/NtpResult.h"
#include "sntp/RequestThread.h"

namespace veltraw {

class Clock;

// The way request series are started; StartRequestThread in the program.
using RequestStarter = bool (*)(void* context, const std::string& host, RequestCallback callback,
                                int32_t tag, int32_t timeoutMs, int32_t requestCount);

struct AppServices {
  AppShell* shell = nullptr;
  Clock* clock = nullptr;  // read for T4 carry-forward and statistics; set to correct the PC
  RunKey* runKey = nullptr;
  RequestStarter startRequest = StartRequestThread;
  CommandStarter startCommand = startCommandLine;
  LocalClockText localTime = localClockText;  // the tooltip's time of the last good update
  // A step computed from the last reply's four timestamps at full resolution
  // and timed to land on a whole millisecond; false: the transmit time plus
  // half the whole-millisecond round trip (a millisecond or so off).
  bool preciseClockStep = true;
  std::string settingsName = setting::kKeyName;  // tests use keys of their own
  std::string settingsDirectory;  // where the native settings file lives; empty: the user's
  ClockServiceAsker askClockService = AskClockService;
};

class SntpClientApp {
 public:
  static constexpr const char* kProductName = "Veltraw";
  static constexpr int32_t kReplyTimeoutMs = 2500;

  // Starts the core: shows the start-up icon, normalises the advanced
  // settings, applies the settings, fires the start event and runs the first
  // update cycle. Throws std::runtime_error (settings). A log file that cannot
  // be opened is shown through the shell's notice, and done without.
  explicit SntpClientApp(const AppServices& services);
  // Fires the stop event and closes the outputs. Results of series still
  // running are dropped from here on.
  ~SntpClientApp();
  SntpClientApp(const SntpClientApp&) = delete;
  SntpClientApp& operator=(const SntpClientApp&) = delete;

  // True when no server is configured: the entry then offers a search.
  bool needsServerPrompt();
  // Asks the user, when no server is configured, whether to search the local
  // network; on Yes the shell opens the search.
  void promptForServer();

  void applySettings();
  void runUpdateCycle();
  // The PC woke from sleep or hibernation; the system clock was changed. Each
  // starts a resynchronisation a few seconds later, unless one is pending or
  // the change was this program's own step.
  void onSystemResumed();
  void onSystemTimeChanged();
  // The shell's resynchronisation timer fired (main thread).
  void onResyncTimer();
  void onRequestResult(const NtpResult& result);
  void updateTrayText(int32_t status);
  // True only when the clock was set, here or by the clock service (not in
  // report-only mode, not within the threshold, not refused). server: the
  // one the offset was measured from, which the service measures again.
  bool applyClockCorrection(const TimeClass& time, int32_t offsetMs, const std::string& server);
  // Applies Autostart to the Run key, stops the timer and ends the loop.
  void exitApplication();

  SettingsKey& settings() { return m_settings; }
  // Guards the statistics; hold it while reading them.
  std::recursive_mutex& lock() { return m_lock; }
  ServerStats& stats() { return m_stats; }
  // Empties every histogram and the drift record ("Reset Statistics").
  void resetStatistics();
  int32_t shownOffsetMs();

  // The update period in ms for a Frequency setting, kept within sane bounds.
  static uint32_t updatePeriodMs(int32_t frequencySeconds);

 private:
  struct Link;  // what request threads hold to reach the core
  struct Cycle;
  struct RequestContext;

  // A step's own notice of a changed clock arrives within this long.
  static constexpr uint32_t kOwnStepNoticeMs = 5000;

  void runCycle(bool resync);
  void cycleResult(Cycle& cycle, bool answered);
  void endCycle(const Cycle& cycle);  // with m_resyncLock held
  void requestResync(const char* reason);

  void normalizeAdvancedSettings();
  void closeOutputs();
  void startTimer();
  void stopTimer();
  static void requestDone(void* context, const NtpResult& result);
  // onRequestResult for a series started under serverList (m_serverList then);
  // none: under the present one.
  void handleResult(const NtpResult& result, std::optional<uint32_t> serverList);

  // The steps of onRequestResult, under the lock.
  bool takesClockFrom(const NtpResult& result);
  void correctClockFrom(const NtpResult& result);
  TimeClass clockTargetTime(const NtpResult& result);
  // applyClockCorrection's decisions and log lines; a precise step sets the
  // PC's time plus fullOffset, read again when it is set.
  bool correctClock(const TimeClass& time, int32_t offsetMs, bool precise, NtpInterval fullOffset,
                    const std::string& server);
  // Has the clock stepped, by the service or here, and tells the user when
  // neither could. True when it was stepped.
  bool stepClock(const std::string& server, int32_t offsetMs,
                 const std::function<bool()>& stepHere);
  void showPrimaryResult(const NtpResult& result);
  void recordStatistics(const NtpResult& result, std::optional<int32_t> clockGainMs);
  void runMonitorCondition(const NtpResult& result);
  void followPacingRequest(const NtpResult& result);

  AppServices m_services;
  SettingsKey m_settings;
  ServerStats m_stats;
  std::recursive_mutex m_lock;
  std::unique_ptr<FileLogSink> m_logFileSink;
  bool m_timerRunning = false;
  int32_t m_cyclePrimaryOffsetMs = 0;
  int32_t m_shownOffsetMs = INT32_MIN;
  std::string m_lastGoodAt;  // local "HH:MM" of the primary's last good result
  std::vector<uint8_t> m_serverFailed;
  ClockCorrector m_corrector;
  bool m_clockNotCorrected = false;  // the last due step could not be made
  ClockGainTracker m_gain;
  uint32_t m_serverList = 0;  // counts the server lists applied; guarded by m_lock
  ServerPacing m_pacing;
  // Guards the resynchronisation and the cycles' counts; taken after m_lock,
  // never before it.
  std::mutex m_resyncLock;
  ResyncSchedule m_resync;
  bool m_ownStepPending = false;
  uint32_t m_ownStepTick = 0;
  std::shared_ptr<Link> m_link;
};

}  // namespace veltraw
