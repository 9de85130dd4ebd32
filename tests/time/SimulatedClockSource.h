// A clock source on simulated time: a counter and a system time that move only
// when the test says so (and a little at every system-time read, so that the
// clock's spin to the next tick ends). The system clock it "sets" is its own.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "LIB/Time/PrecisionClock.h"
#include "LIB/Time/TimeClass.h"

namespace veltraw::test {

class SimulatedClockSource : public ClockSource {
 public:
  static constexpr int64_t kSecond = 1000000000;  // nanoseconds

  // start: the system time at creation, to the nanosecond.
  SimulatedClockSource(const TimeClass& start, uint32_t startNanoseconds, int64_t frequency,
                       int64_t tickNs = 1000000)
      : m_frequency(frequency), m_tickNs(tickNs) {
    m_systemNs =
        (int64_t{start.dayNumber()} * 86400 + start.secondsInDay()) * kSecond + startNanoseconds;
  }

  bool CounterFrequency(int64_t& countsPerSecond) override {
    if (!hasCounter) return false;
    countsPerSecond = m_frequency;
    return true;
  }

  int64_t Counter() override {
    std::lock_guard<std::mutex> hold(m_lock);
    const int64_t ns = m_trueNs + m_counterShiftNs;
    // In two steps so that hours of simulated time do not overflow.
    return ns / kSecond * m_frequency + ns % kSecond * m_frequency / kSecond;
  }

  SystemTimeFields SystemTime() override {
    std::lock_guard<std::mutex> hold(m_lock);
    ++systemTimeReads;
    m_trueNs += readCostNs;
    const int64_t now = m_systemNs + m_trueNs;
    return FieldsOf(now - now % m_tickNs);
  }

  bool SetSystemTime(const SystemTimeFields& time, std::string& errorText) override {
    std::lock_guard<std::mutex> hold(m_lock);
    settings.push_back(time);
    if (!refusal.empty()) {
      errorText = refusal;
      return false;
    }
    TimeClass to;
    to.setYear(time.year);
    to.setMonth(static_cast<uint8_t>(time.month));
    to.setDay(static_cast<uint8_t>(time.day));
    to.setTimeOfDay(static_cast<uint8_t>(time.hour), static_cast<uint8_t>(time.minute),
                    static_cast<uint8_t>(time.second));
    const int64_t ns = (int64_t{to.dayNumber()} * 86400 + to.secondsInDay()) * kSecond +
                       int64_t{time.milliseconds} * 1000000;
    m_systemNs = ns - m_trueNs;
    return true;
  }

  void QuitMessageLoop() override { ++quitCalls; }

  // Time passes: counter and system time move together.
  void Advance(int64_t ns) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_trueNs += ns;
  }
  // The system time alone moves (drift, or someone else setting it).
  void ShiftSystemTime(int64_t ns) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_systemNs += ns;
  }
  // The counter alone moves (a broken counter).
  void ShiftCounter(int64_t ns) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_counterShiftNs += ns;
  }
  // The system time now, to the nanosecond, as a calendar time.
  TimeClass TrueSystemTime() {
    std::lock_guard<std::mutex> hold(m_lock);
    const int64_t now = m_systemNs + m_trueNs;
    TimeClass time = CalendarOf(now);
    time.fraction = static_cast<uint32_t>(((now % kSecond) << 32) / kSecond);
    return time;
  }

  bool hasCounter = true;
  int64_t readCostNs = 1000;  // simulated time taken by one system-time read
  std::string refusal;        // non-empty: SetSystemTime fails with this text
  std::vector<SystemTimeFields> settings;
  int quitCalls = 0;
  int64_t systemTimeReads = 0;

 private:
  static TimeClass CalendarOf(int64_t ns) {
    const int64_t seconds = ns / kSecond;
    TimeClass time;
    time.setDayNumber(static_cast<uint32_t>(seconds / 86400));
    time.setSecondsInDay(static_cast<uint32_t>(seconds % 86400));
    return time;
  }
  static SystemTimeFields FieldsOf(int64_t ns) {
    const TimeClass time = CalendarOf(ns);
    SystemTimeFields fields;
    fields.year = time.year();
    fields.month = time.month();
    fields.day = time.day();
    fields.hour = time.hour();
    fields.minute = time.minute();
    fields.second = time.second();
    fields.milliseconds = static_cast<uint16_t>(ns % kSecond / 1000000);
    return fields;
  }

  std::mutex m_lock;
  int64_t m_frequency;
  int64_t m_tickNs;
  int64_t m_systemNs = 0;  // system time minus true time, ns since 1900
  int64_t m_trueNs = 0;    // simulated time since creation
  int64_t m_counterShiftNs = 0;
};

}  // namespace veltraw::test
