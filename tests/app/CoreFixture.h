// A core on stand-ins: a shell that records, a clock the test moves, request
// series the test answers, settings of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/AutoLaunch.h"
#include "app/SntpClientApp.h"
#include "app/TrayStatusText.h"
#include "support/ScratchKey.h"

namespace veltraw::test {

class RecordingShell : public AppShell {
 public:
  void showIcon(int32_t iconId) override {
    std::lock_guard<std::mutex> hold(lock);
    icons.push_back(iconId);
  }
  void showTip(const std::string& text) override {
    std::lock_guard<std::mutex> hold(lock);
    tips.push_back(text);
  }
  bool startTimer(uint32_t periodMs) override {
    timerPeriods.push_back(periodMs);
    timerRunning = true;
    return true;
  }
  void stopTimer() override { timerRunning = false; }
  void startResyncTimer(uint32_t delayMs) override {
    std::lock_guard<std::mutex> hold(lock);
    resyncDelays.push_back(delayMs);
  }
  uint32_t tickCount() override { return tick; }
  void postQuit() override { ++quits; }
  void* ownerWindow() override { return this; }
  void openServerSearch() override { ++searches; }
  void statisticsChanged() override {
    std::lock_guard<std::mutex> hold(lock);
    ++refreshes;
  }

  int32_t lastIcon() {
    std::lock_guard<std::mutex> hold(lock);
    return icons.empty() ? 0 : icons.back();
  }
  std::string lastTip() {
    std::lock_guard<std::mutex> hold(lock);
    return tips.empty() ? std::string() : tips.back();
  }

  std::mutex lock;
  std::vector<int32_t> icons;
  std::vector<std::string> tips;
  std::vector<uint32_t> timerPeriods;
  std::vector<uint32_t> resyncDelays;
  uint32_t tick = 1000;
  bool timerRunning = false;
  int quits = 0;
  int searches = 0;
  int refreshes = 0;
};

// Both Run keys; the machine's refuses writing to a standard user.
class RecordingRunKey : public RunKey {
 public:
  uint32_t open(RunKeyScope scope, bool forWriting) override {
    m_open = scope == RunKeyScope::Machine ? &machine : &user;
    if (scope == RunKeyScope::Machine && forWriting && standardUser) return kRunKeyAccessDenied;
    return scope == RunKeyScope::Machine ? openError : 0;
  }
  bool hasValue(const std::string& name) override { return m_open->count(name) != 0; }
  uint32_t setValue(const std::string& name, const std::string& data) override {
    if (setError == 0) (*m_open)[name] = data;
    return setError;
  }
  uint32_t deleteValue(const std::string& name) override {
    return m_open->erase(name) ? 0 : 2;  // the file-not-found code
  }
  uint32_t close() override { return 0; }
  uint32_t modulePath(std::string& path) override {
    path = "C:\\Program Files\\Veltraw\\Veltraw.exe";
    return 0;
  }
  uint32_t openError = 0;
  uint32_t setError = 0;
  bool standardUser = false;
  std::map<std::string, std::string> machine, user;

 private:
  std::map<std::string, std::string>* m_open = &machine;
};

// One started series, as the core asked for it.
struct StartedSeries {
  void* context;
  std::string host;
  RequestCallback callback;
  int32_t tag, timeoutMs, requestCount;
};

class CoreTest : public ::testing::Test {
 protected:
  static std::vector<StartedSeries>& started() {
    static std::vector<StartedSeries> series;
    return series;
  }
  static std::mutex& startedLock() {
    static std::mutex lock;
    return lock;
  }
  static bool recordStart(void* context, const std::string& host, RequestCallback callback,
                          int32_t tag, int32_t timeoutMs, int32_t requestCount) {
    std::lock_guard<std::mutex> hold(startedLock());
    started().push_back({context, host, callback, tag, timeoutMs, requestCount});
    return true;
  }
  // The tooltip's local time of the last good update; empty: none shown.
  static std::string& localTime() {
    static std::string text;
    return text;
  }
  static std::string localTimeText(const TimeClass&) { return localTime(); }
  static std::vector<std::string>& commands() {
    static std::vector<std::string> lines;
    return lines;
  }
  static bool recordCommand(const std::string& line) {
    commands().push_back(line);
    return true;
  }

  void SetUp() override {
    started().clear();
    commands().clear();
    localTime().clear();
    settings = scratch.open();
  }
  void TearDown() override {
    app.reset();
    // Series the test left unanswered report now, to a core that is gone.
    deliverAll();
  }

  // Servers s0, s1, ... as Server1, Server2, ...
  void configureServers(int count) {
    settings->writeNumber("Servers", count);
    for (int i = 0; i < count; ++i) {
      settings->writeText("Server" + std::to_string(i + 1), "s" + std::to_string(i));
    }
  }

  void start() {
    AppServices services;
    services.shell = &shell;
    services.clock = &clock;
    services.runKey = &runKey;
    services.startRequest = &recordStart;
    services.startCommand = &recordCommand;
    services.localTime = &localTimeText;
    services.preciseClockStep = preciseStep;
    services.settingsName = scratch.name();
    services.settingsDirectory = scratch.directory();
    app = std::make_unique<SntpClientApp>(services);
  }

  // Answers every series started so far that has not reported, in order.
  void deliverAll() {
    std::vector<StartedSeries> pending;
    {
      std::lock_guard<std::mutex> hold(startedLock());
      pending.swap(started());
    }
    for (const auto& series : pending) {
      NtpResult none;
      none.host = series.host;
      none.tag = series.tag;
      none.status = NoResponse;
      series.callback(series.context, none);
    }
  }

  // A result with a reply that arrives now, from a server offsetMs ahead of
  // the fake clock, after a round trip of roundTripMs split evenly.
  NtpResult reply(int32_t tag, NtpStatus status, int32_t offsetMs, int32_t roundTripMs) {
    NtpResult r;
    r.host = "s" + std::to_string(tag);
    r.tag = tag;
    r.status = status;
    r.offsetMs = offsetMs;
    r.roundTripMs = roundTripMs;
    r.hasPacket = status == Ok || status == BadReference;
    r.packet.bytes[0] = 0x24;
    r.packet.bytes[1] = 2;
    const NtpTimestamp now = NtpTimestamp::FromCalendar(clock.Now());
    const NtpTimestamp trip =
        NtpFromNanoseconds(uint64_t(roundTripMs < 0 ? 0 : roundTripMs) * 1000000);
    const NtpTimestamp offset(static_cast<uint64_t>(int64_t{offsetMs} * 4294967296LL / 1000));
    const NtpTimestamp sent = now - trip;
    const NtpTimestamp served = sent + offset + NtpTimestamp(trip.value() / 2);
    sent.WriteWire(r.packet.bytes + NtpPacket::kOriginateTimestampOffset);
    served.WriteWire(r.packet.bytes + NtpPacket::kReceiveTimestampOffset);
    served.WriteWire(r.packet.bytes + NtpPacket::kTransmitTimestampOffset);
    r.arrival = now;
    return r;
  }
  NtpResult failure(int32_t tag, NtpStatus status = NoResponse) {
    NtpResult r;
    r.host = "s" + std::to_string(tag);
    r.tag = tag;
    r.status = status;
    return r;
  }

  ScratchKey scratch;
  std::unique_ptr<SettingsKey> settings;
  RecordingShell shell;
  FakeClock clock;
  RecordingRunKey runKey;
  bool preciseStep = true;
  std::unique_ptr<SntpClientApp> app;
};

}  // namespace veltraw::test
