// A core on stand-ins: a shell that records, a clock the test moves, request
// series the test answers, settings of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/AutoLaunch.h"
#include "app/SntpClientApp.h"
#include "app/TrayStatusText.h"
#include "support/ScratchKey.h"

namespace veltraw::test {

// Records without locks of its own, so that calls the core makes outside its
// locks show under ThreadSanitizer.
class RecordingShell : public AppShell {
 public:
  void showIcon(int32_t iconId) override { icons.push_back(iconId); }
  void showTip(const std::string& text) override { tips.push_back(text); }
  bool startTimer(uint32_t periodMs) override {
    timerPeriods.push_back(periodMs);
    return timerRunning = true;
  }
  void stopTimer() override { timerRunning = false; }
  void startResyncTimer(uint32_t delayMs) override { resyncDelays.push_back(delayMs); }
  uint32_t tickCount() override { return tick; }
  void postQuit() override { ++quits; }
  void* ownerWindow() override { return this; }
  void openServerSearch() override { ++searches; }
  void statisticsChanged() override { ++refreshes; }
  void showNotification(const std::string& title, const std::string& text) override {
    notices.push_back(title + ": " + text);
  }
  void showNotice(const MessageBoxRequest& box) override { notices.push_back(box.text); }

  int32_t lastIcon() const { return icons.empty() ? 0 : icons.back(); }
  std::string lastTip() const { return tips.empty() ? std::string() : tips.back(); }

  std::vector<int32_t> icons;
  std::vector<std::string> tips, notices;
  std::vector<uint32_t> timerPeriods, resyncDelays;
  uint32_t tick = 1000;
  bool timerRunning = false;
  int quits = 0, searches = 0;
  std::atomic<int> refreshes{0};
};

// Both Run keys; the machine's refuses writing to a standard user.
class RecordingRunKey : public RunKey {
 public:
  uint32_t open(RunKeyScope scope, bool forWriting) override {
    const bool machineKey = scope == RunKeyScope::Machine;
    m_open = machineKey ? &machine : &user;
    if (machineKey && forWriting && standardUser) return kRunKeyAccessDenied;
    return machineKey ? openError : 0;
  }
  bool hasValue(const std::string& name) override { return m_open->count(name) != 0; }
  uint32_t setValue(const std::string& name, const std::string& data) override {
    (*m_open)[name] = data;
    return 0;
  }
  uint32_t deleteValue(const std::string& name) override {
    return m_open->erase(name) ? 0 : 2;  // the file-not-found code
  }
  uint32_t close() override { return 0; }
  uint32_t modulePath(std::string& path) override {
    path = kExe;
    return 0;
  }
  static constexpr const char* kExe = "C:\\Program Files\\Veltraw\\Veltraw.exe";
  uint32_t openError = 0;
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
  // What the core's plain-function services record, shared by every test.
  static inline std::mutex startedLock;
  static inline std::vector<StartedSeries> started;
  static inline std::vector<std::string> commands;
  static inline std::string localTime;  // of the last good update; empty: none shown

  static bool recordStart(void* context, const std::string& host, RequestCallback callback,
                          int32_t tag, int32_t timeoutMs, int32_t requestCount) {
    std::lock_guard<std::mutex> hold(startedLock);
    started.push_back({context, host, callback, tag, timeoutMs, requestCount});
    return true;
  }
  static bool recordCommand(const std::string& line) {
    commands.push_back(line);
    return true;
  }
  static std::string localTimeText(const TimeClass&) { return localTime; }

  void SetUp() override {
    started.clear();
    commands.clear();
    localTime.clear();
    settings = scratch.open();
  }
  void TearDown() override {
    app.reset();
    // Series the test left unanswered report now, to a core that is gone.
    answer(false);
  }

  // Servers s0, s1, ... as Server1, Server2, ...
  void configureServers(int count) {
    settings->writeNumber("Servers", count);
    for (int i = 0; i < count; ++i) {
      settings->writeText("Server" + std::to_string(i + 1), "s" + std::to_string(i));
    }
  }

  void start() {
    app = std::make_unique<SntpClientApp>(
        AppServices{&shell, &clock, &runKey, &recordStart, &recordCommand, &localTimeText,
                    preciseStep, scratch.name(), scratch.directory(), askService});
  }

  // Takes the series started so far.
  std::vector<StartedSeries> takeStarted() {
    std::lock_guard<std::mutex> hold(startedLock);
    return std::exchange(started, {});
  }
  // Answers every series started so far, in order: all silent, or the first
  // one good. Returns the servers asked.
  std::vector<int32_t> answer(bool firstGood) {
    std::vector<int32_t> tags;
    for (const StartedSeries& s : takeStarted()) {
      s.callback(s.context, firstGood && tags.empty() ? reply(s.tag, Ok, 3, 3) : failure(s.tag));
      tags.push_back(s.tag);
    }
    return tags;
  }

  // A result with a reply that arrives now, from a server offsetMs ahead of
  // the fake clock, after a round trip of roundTripMs split evenly.
  NtpResult reply(int32_t tag, NtpStatus status, int32_t offsetMs, int32_t roundTripMs) {
    NtpResult r = failure(tag, status);
    r.offsetMs = offsetMs;
    r.roundTripMs = roundTripMs;
    r.goodReplies = 1;
    r.hasPacket = true;
    r.packet.bytes[0] = 0x24;
    r.packet.bytes[1] = 2;
    const NtpTimestamp now = NtpTimestamp::FromCalendar(clock.Now());
    const NtpTimestamp trip = NtpFromNanoseconds(uint64_t(roundTripMs) * 1000000);
    const NtpTimestamp offset(static_cast<uint64_t>(int64_t{offsetMs} * 4294967296LL / 1000));
    const NtpTimestamp sent = now - trip;
    const NtpTimestamp served = sent + offset + NtpTimestamp(trip.value() / 2);
    sent.WriteWire(r.packet.bytes + NtpPacket::kOriginateTimestampOffset);
    served.WriteWire(r.packet.bytes + NtpPacket::kReceiveTimestampOffset);
    served.WriteWire(r.packet.bytes + NtpPacket::kTransmitTimestampOffset);
    r.arrival = now;
    return r;
  }
  static NtpResult failure(int32_t tag, NtpStatus status = NoResponse) {
    NtpResult r;
    r.host = "s" + std::to_string(tag);
    r.tag = tag;
    r.status = status;
    return r;
  }
  // The statistics of one server, read under the core's lock.
  Histogram deltas(int32_t server, Histogram* latency = nullptr) {
    std::lock_guard<std::recursive_mutex> hold(app->lock());
    if (latency) *latency = histogramOf(app->stats(), server, true);
    return histogramOf(app->stats(), server);
  }
  int32_t drift() {
    std::lock_guard<std::recursive_mutex> hold(app->lock());
    return driftOf(app->stats());
  }

  ScratchKey scratch;
  std::unique_ptr<SettingsKey> settings;
  RecordingShell shell;
  FakeClock clock;
  RecordingRunKey runKey;
  bool preciseStep = true;
  // No clock service unless a test brings one: never the machine's own.
  ClockServiceAsker askService = [](const ClockServiceRequest&) { return ClockServiceAnswer{}; };
  std::unique_ptr<SntpClientApp> app;
};

}  // namespace veltraw::test
