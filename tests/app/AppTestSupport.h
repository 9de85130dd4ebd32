// Stand-ins shared by the time-keeping core's tests: a clock the test moves,
// a log listener and a message box that answers itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/PrecisionClock.h"
#include "app/MessageBox.h"

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

// Every finished log line with its level, while it lives.
class LogListener : public LogSink {
 public:
  LogListener() : LogSink(false) {
    level = Trace;
    ErrorLog::instance().addSink(this);
  }
  ~LogListener() override { ErrorLog::instance().removeSink(this); }
  void beginEntry(std::time_t, int32_t entryLevel) override { m_level = entryLevel; }
  void write(const char* text) override { m_current += text; }
  void endEntry() override {
    std::lock_guard<std::mutex> hold(m_lock);
    lines.push_back(m_current);
    levels.push_back(m_level);
    m_current.clear();
  }
  // The level of the first line containing text, or 0.
  int32_t levelOf(const std::string& text) const {
    std::lock_guard<std::mutex> hold(m_lock);
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find(text) != std::string::npos) return levels[i];
    }
    return 0;
  }

  std::vector<std::string> lines;
  std::vector<int32_t> levels;

 private:
  mutable std::mutex m_lock;
  std::string m_current;
  int32_t m_level = 0;
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
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
      char buffer[4096];
      size_t got;
      while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
      std::fclose(file);
    }
    return text;
  }

  const std::string path;
};

}  // namespace veltraw::test
