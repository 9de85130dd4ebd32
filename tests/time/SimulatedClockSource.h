// A clock source on simulated time: a counter and a system time ticking every
// millisecond, which move only when the test says so (and by a microsecond at
// every system-time read, so that the clock's spin to the next tick ends). The
// system clock it sets is its own.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "LIB/Time/PrecisionClock.h"
#include "time/TimeTestSupport.h"

namespace veltraw::test {

class SimulatedClockSource : public ClockSource {
 public:
  static constexpr int64_t kSecond = 1000000000;  // nanoseconds

  // The system time at creation is start plus startNs nanoseconds.
  SimulatedClockSource(const TimeClass& start, int64_t startNs, int64_t frequency)
      : m_frequency(frequency), m_systemNs(nsSince1900(start) + startNs) {}

  bool CounterFrequency(int64_t& countsPerSecond) override {
    countsPerSecond = m_frequency;
    return hasCounter;
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
    m_trueNs += 1000;
    const int64_t now = m_systemNs + m_trueNs;
    if (systemTimeReads == stallAfterRead) m_trueNs += stallNs;
    TimeClass time;
    time.setDayNumber(static_cast<uint32_t>(now / kSecond / 86400));
    time.setSecondsInDay(static_cast<uint32_t>(now / kSecond % 86400));
    return {time.year(),
            time.month(),
            time.day(),
            time.hour(),
            time.minute(),
            time.second(),
            static_cast<uint16_t>(now % kSecond / 1000000)};
  }

  bool SetSystemTime(const SystemTimeFields& f, std::string& errorText) override {
    std::lock_guard<std::mutex> hold(m_lock);
    settings.push_back(f);
    errorText = refusal;
    if (!refusal.empty()) return false;
    const TimeClass to = makeTime(f.year, static_cast<uint8_t>(f.month),
                                  static_cast<uint8_t>(f.day), static_cast<uint8_t>(f.hour),
                                  static_cast<uint8_t>(f.minute), static_cast<uint8_t>(f.second));
    m_systemNs = nsSince1900(to) + f.milliseconds * int64_t{1000000} - m_trueNs;
    return true;
  }

  void QuitMessageLoop() override { ++quitCalls; }

  // Time passes: counter and system time move together.
  void Advance(int64_t ns) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_trueNs += ns;
  }
  // The system time alone moves (someone else set it).
  void ShiftSystemTime(int64_t ns) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_systemNs += ns;
  }
  // The counter alone moves (a broken counter).
  void ShiftCounter(int64_t ns) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_counterShiftNs += ns;
  }
  // The system time now, in nanoseconds since 1900.
  int64_t SystemNs() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_systemNs + m_trueNs;
  }

  bool hasCounter = true;
  std::string refusal;  // non-empty: SetSystemTime fails with this text
  std::vector<SystemTimeFields> settings;
  int quitCalls = 0;
  int64_t systemTimeReads = 0;
  // The reader is preempted for stallNs right after that read (1 the first).
  int64_t stallAfterRead = 0;
  int64_t stallNs = 0;

 private:
  std::mutex m_lock;
  const int64_t m_frequency;
  int64_t m_systemNs;    // system time minus true time, ns since 1900
  int64_t m_trueNs = 0;  // simulated time since creation
  int64_t m_counterShiftNs = 0;
};

}  // namespace veltraw::test
