// The process-wide diagnostic log: every entry is one line handed to the
// registered sinks. An entry is written as one chain:
//   ErrorLog::instance().begin(Warning) << "Unable to open " << path << End;
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace veltraw {

enum LogLevel : int32_t { Trace = 1, Detail = 2, Warning = 3, Error = 4, Severe = 5, Fatal = 6 };

enum LogControl : int32_t { End = 0, Hex = 1, Dec = 2, Oct = 3, Bin = 4 };

// Receives the entries whose level is at least its own. Sinks are owned by
// whoever made them and are removed from the log before they are destroyed.
class LogSink {
 public:
  explicit LogSink(bool showHeader) : showHeader(showHeader) {}
  virtual ~LogSink() = default;
  // time: seconds since 1970-01-01 UTC of the entry's first piece.
  virtual void beginEntry(std::time_t time, int32_t level) = 0;
  virtual void write(const char* text) = 0;
  virtual void endEntry() = 0;

  bool showHeader;
  int32_t level = Detail;
};

// What the log reads from the system for every entry header; tests replace it.
class LogEnvironment {
 public:
  virtual ~LogEnvironment() = default;
  virtual std::time_t now() = 0;         // seconds since 1970-01-01 UTC
  virtual uint32_t tickCount() = 0;      // milliseconds since an arbitrary start
  virtual unsigned long threadId() = 0;  // numeric id of the calling thread

  // The system's own environment (platform file).
  static LogEnvironment& Platform();
};

// A re-entrant lock: a critical section on Windows, a recursive mutex elsewhere.
class RecursiveLock {
 public:
  RecursiveLock();
  ~RecursiveLock();
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;
  void lock();
  void unlock();

 private:
  alignas(8) unsigned char m_storage[64];
};

class ErrorLog {
 public:
  static ErrorLog& instance();

  ErrorLog& begin(int32_t level);
  ErrorLog& control(LogControl code);

  ErrorLog& operator<<(const char* text);
  ErrorLog& operator<<(const std::string& text);
  ErrorLog& operator<<(int32_t value);       // current radix, "-" and magnitude
  ErrorLog& operator<<(unsigned int value);  // "0x%08x"
  // "0x%08lx" where long is 32 bits (Windows); where it is 64 bits it is the
  // platform's uint64_t and is written like the unsigned 64-bit append.
  ErrorLog& operator<<(unsigned long value);
  ErrorLog& operator<<(unsigned long long value);  // decimal
  ErrorLog& operator<<(char value);                // control characters as "\x%02x"
  ErrorLog& operator<<(unsigned char value);       // "0x%02x"
  ErrorLog& operator<<(bool value);                // "true" / "false"
  ErrorLog& operator<<(LogControl code) { return control(code); }

  void addSink(LogSink* sink);
  void removeSink(LogSink* sink);

  // Replaces where header times, ticks and thread ids come from (tests);
  // nullptr restores the system's.
  void setEnvironment(LogEnvironment* environment);

 private:
  ErrorLog();
  void writePiece(const char* text);
  void openEntry();

  RecursiveLock m_lock;
  std::vector<LogSink*> m_sinks;
  LogEnvironment* m_environment;
  int32_t m_radix = 10;
  int32_t m_level = Detail;
  int32_t m_minimumLevel = Trace;
  bool m_idle = true;
  // True while the calling thread holds the entry's extra hold on m_lock, taken
  // by begin() or by the first piece and given back by End.
  bool m_entryHeld = false;
};


// The UTC date and time of seconds since 1970, through the C library's
// thread-safe breakdown (platform file): the log writes from any thread.
void utcBreakdown(std::time_t time, std::tm& utc);

}  // namespace veltraw
