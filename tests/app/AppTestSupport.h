// Stand-ins shared by the time-keeping core's tests: a clock the test moves,
// a log listener and a message box that answers itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/PrecisionClock.h"
#include "app/MessageBox.h"
#include "support/CaptureSink.h"

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

// A file of the test's own in the working directory (the build tree),
// removed before and after.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& stem) : path("veltraw-app-" + stem + ".tmp") {
    std::remove(path.c_str());
  }
  ~ScratchFile() { std::remove(path.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // The whole file as bytes, "" when it does not exist.
  std::string contents() const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  const std::string path;
};

}  // namespace veltraw::test
