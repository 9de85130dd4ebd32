// Stand-ins shared by the time-keeping core's tests: a clock the test moves,
// a log listener, a message box that answers itself, scratch files and the
// statistics as a dialog reads them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/PrecisionClock.h"
#include "app/MessageBox.h"
#include "app/ServerStats.h"
#include "support/CaptureSink.h"
#include "support/ScratchFile.h"

namespace veltraw::test {

// Reads what the test sets; SetClock only records (nothing here ever sets the
// machine's clock).
class FakeClock : public Clock {
 public:
  FakeClock() {
    now.setYear(2024);
    now.setMonth(3);
    now.setDay(1);
    now.setTimeOfDay(12, 0, 0);
  }
  TimeClass Now() override { return now; }
  bool SetClock(const TimeClass& time) override {
    setTimes.push_back(time);
    return !refuseSetting;
  }
  void advanceMs(uint32_t ms) { now.addMilliseconds(ms); }

  TimeClass now;
  std::vector<TimeClass> setTimes;
  bool refuseSetting = false;  // as a system without the right to set the time
};

// Takes the place of the platform's message box while it lives.
class BoxRecorder {
 public:
  explicit BoxRecorder(int32_t answer = AnswerOk) : m_answer(answer) {
    setMessageBoxHandler([this](const MessageBoxRequest& request) {
      std::lock_guard<std::mutex> hold(m_lock);
      boxes.push_back(request);
      return m_answer;
    });
  }
  ~BoxRecorder() { setMessageBoxHandler(nullptr); }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  std::vector<MessageBoxRequest> boxes;

 private:
  std::mutex m_lock;
  int32_t m_answer;
};

// One server's deltas (or round trips) and the drift estimate; the caller
// holds whatever lock guards stats.
inline Histogram histogramOf(ServerStats& stats, int32_t server, bool latency = false) {
  Histogram delta(1, 0, 1), trip(1, 0, 1);
  EXPECT_TRUE(stats.get(server, delta, trip));
  return latency ? trip : delta;
}
inline int32_t driftOf(ServerStats& stats) {
  int32_t value = 0;
  EXPECT_TRUE(stats.driftPerDay(value));
  return value;
}

}  // namespace veltraw::test
