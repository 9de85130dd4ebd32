#include "LIB/Log/LogSinks.h"

#include <stdexcept>

namespace veltraw {

FileLogSink::FileLogSink(const std::string& path, bool append)
    : LogSink(true), m_file(std::fopen(path.c_str(), append ? "at" : "wt")) {
  if (m_file == nullptr) throw std::runtime_error("Cannot open log file for writing: " + path);
}

FileLogSink::~FileLogSink() { std::fclose(m_file); }

void FileLogSink::beginEntry(std::time_t, int32_t) {}

void FileLogSink::write(const char* text) { std::fputs(text, m_file); }

void FileLogSink::endEntry() {
  std::fputs("\n", m_file);
  std::fflush(m_file);
}

void DebugLogSink::beginEntry(std::time_t, int32_t) {}

void DebugLogSink::write(const char* text) {
  debuggerOutput(text);
  try {
    std::fputs(text, stderr);
    std::fflush(stderr);
  } catch (...) {
  }
}

void DebugLogSink::endEntry() { write("\r\n"); }

}  // namespace veltraw
