// The two sinks of the program: the log file and the debugger output.
#pragma once

#include <cstdio>
#include <string>

#include "LIB/Log/ErrorLog.h"

namespace veltraw {

// Appends (or truncates and writes) a text file; every finished line is
// flushed at once so that it is on disk even if the program dies.
class FileLogSink : public LogSink {
 public:
  // Throws std::runtime_error "Cannot open log file for writing: " + path.
  FileLogSink(const std::string& path, bool append);
  ~FileLogSink() override;
  FileLogSink(const FileLogSink&) = delete;
  FileLogSink& operator=(const FileLogSink&) = delete;

  void beginEntry(std::time_t time, int32_t level) override;
  void write(const char* text) override;
  void endEntry() override;

 private:
  std::FILE* m_file;
};

// Debugger output plus a copy on standard error.
class DebugLogSink : public LogSink {
 public:
  DebugLogSink() : LogSink(true) {}
  void beginEntry(std::time_t time, int32_t level) override;
  void write(const char* text) override;
  void endEntry() override;
};

// Passes a text to the debugger (OutputDebugStringA on Windows). Where there is
// no such channel the text goes to the hook set below, if any.
void debuggerOutput(const char* text);
using DebuggerHook = void (*)(const char* text);
void setDebuggerHook(DebuggerHook hook);

}  // namespace veltraw
