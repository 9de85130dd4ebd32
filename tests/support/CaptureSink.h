// The one log listener of the tests: keeps every finished line with its level
// while it lives (registered with the log from construction to destruction,
// unless made Unregistered for tests of the log's own sink handling).
// Safe to write from several threads; read it once the writers are done, or
// through the locked queries.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "LIB/Log/ErrorLog.h"

namespace veltraw::test {

class CaptureSink : public LogSink {
 public:
  enum Registration { Registered, Unregistered };

  explicit CaptureSink(int32_t minLevel = Trace, bool header = false,
                       Registration registration = Registered)
      : LogSink(header), m_registered(registration == Registered) {
    level = minLevel;
    if (m_registered) ErrorLog::instance().addSink(this);
  }
  ~CaptureSink() override {
    if (m_registered) ErrorLog::instance().removeSink(this);
  }
  CaptureSink(const CaptureSink&) = delete;
  CaptureSink& operator=(const CaptureSink&) = delete;

  void beginEntry(std::time_t, int32_t entryLevel) override {
    std::lock_guard<std::mutex> hold(m_lock);
    m_level = entryLevel;
  }
  void write(const char* text) override {
    std::lock_guard<std::mutex> hold(m_lock);
    m_current += text;
  }
  void endEntry() override {
    std::lock_guard<std::mutex> hold(m_lock);
    lines.push_back(m_current);
    levels.push_back(m_level);
    m_current.clear();
  }

  // The finished lines that contain text.
  std::vector<std::string> matching(const std::string& text) const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<std::string> found;
    for (const auto& line : lines) {
      if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
  }
  bool contains(const std::string& text) const { return !matching(text).empty(); }
  // The level of the first line that contains text, or 0.
  int32_t levelOf(const std::string& text) const {
    std::lock_guard<std::mutex> hold(m_lock);
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find(text) != std::string::npos) return levels[i];
    }
    return 0;
  }
  // The finished lines without their header and thread label.
  std::vector<std::string> messages() const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<std::string> found;
    for (const auto& line : lines) found.push_back(line.substr(line.find(">: ") + 3));
    return found;
  }
  // Everything, finished lines joined by '\n', then an unfinished one.
  std::string all() const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text + m_current;
  }

  std::vector<std::string> lines;
  std::vector<int32_t> levels;

 private:
  mutable std::mutex m_lock;
  const bool m_registered;
  std::string m_current;
  int32_t m_level = 0;
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
