// A log sink that keeps what it receives, one string per finished line.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "LIB/Log/ErrorLog.h"

namespace veltraw::test {

class CaptureSink : public LogSink {
 public:
  explicit CaptureSink(int32_t minLevel = Trace, bool header = false) : LogSink(header) {
    level = minLevel;
  }
  void beginEntry(std::time_t, int32_t entryLevel) override { levels.push_back(entryLevel); }
  void write(const char* text) override { current += text; }
  void endEntry() override {
    lines.push_back(current);
    current.clear();
  }

  // Everything, finished lines joined by '\n'.
  std::string all() const {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text + current;
  }

  std::vector<std::string> lines;
  std::vector<int32_t> levels;
  std::string current;
};

// Adds a sink for the lifetime of the object.
class ScopedSink {
 public:
  explicit ScopedSink(LogSink& sink) : m_sink(sink) { ErrorLog::instance().addSink(&m_sink); }
  ~ScopedSink() { ErrorLog::instance().removeSink(&m_sink); }
  ScopedSink(const ScopedSink&) = delete;
  ScopedSink& operator=(const ScopedSink&) = delete;

 private:
  LogSink& m_sink;
};

// Header time, tick and thread under the test's control.
class FixedLogEnvironment : public LogEnvironment {
 public:
  std::time_t now() override { return time; }
  uint32_t tickCount() override { return tick; }
  unsigned long threadId() override { return thread; }
  std::time_t time = 0;
  uint32_t tick = 0;
  unsigned long thread = 0x6f4;
};

}  // namespace veltraw::test
