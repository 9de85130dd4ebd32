// The CSV server data file: one row per request series that ended with a
// reply, flushed at once so the file is complete while the program runs.
#pragma once

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

#include "sntp/NtpResult.h"

namespace veltraw {

class LogEnvironment;

class ServerDataFile {
 public:
  // Times and ticks of the rows come from environment (the log's own, by
  // default, so both files agree).
  ServerDataFile();
  explicit ServerDataFile(LogEnvironment& environment);
  ~ServerDataFile();
  ServerDataFile(const ServerDataFile&) = delete;
  ServerDataFile& operator=(const ServerDataFile&) = delete;

  // Creates or truncates path and writes the header line; closes any file
  // that was open before. A file that cannot be opened is logged at level
  // Warning and leaves the data file closed.
  bool open(const std::string& path);
  void close();
  bool isOpen() const;

  // Writes the row of a result that carries a packet; results without one,
  // and a closed file, write nothing. Safe from several threads at once, and
  // against open and close on another thread.
  void writeRow(const NtpResult& result);

  static const char* const kHeader;

  // The row as written, without its line end.
  static std::string formatRow(const NtpResult& result, std::time_t now, uint32_t tickCount);
  // The C library's 24-character date form, "Sun Dec  6 00:11:34 2026", UTC, for
  // times from 1968 to 2104.
  static std::string asctimeText(std::time_t time);

 private:
  LogEnvironment& m_environment;
  mutable std::mutex m_lock;
  std::FILE* m_file = nullptr;
};

// The program's one data file.
ServerDataFile& serverDataFile();

}  // namespace veltraw
