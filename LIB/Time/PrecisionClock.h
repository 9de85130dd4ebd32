// The process's clock: the system time anchored to a high-resolution counter
// at the start of a system-time tick and extrapolated with the counter, so that
// readings resolve far finer than the system time itself. The same object is
// the only place where the system clock is set.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/TimeClass.h"

namespace veltraw {

// What every clock offers; tests and the request code see only this much.
class Clock {
 public:
  virtual ~Clock() = default;
  // Sets the system clock to time (UTC); true only when it was set.
  virtual bool SetClock(const TimeClass& time) = 0;
  virtual TimeClass Now() = 0;  // UTC
};

// The system time as the platform breaks it down: UTC, millisecond resolution.
struct SystemTimeFields {
  uint16_t year = 1900;
  uint16_t month = 1;  // 1..12
  uint16_t day = 1;    // 1..31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;  // 0..999
};

// The few system services the precision clock reads and writes. One
// implementation per platform (ClockSource::Platform()); tests bring a
// simulated one so that no test ever touches the real clock.
class ClockSource {
 public:
  virtual ~ClockSource() = default;
  // Counts per second of the counter; false when there is no counter.
  virtual bool CounterFrequency(int64_t& countsPerSecond) = 0;
  virtual int64_t Counter() = 0;
  virtual SystemTimeFields SystemTime() = 0;
  // False when the system refused, or the source never sets the clock (the
  // native build's); errorText then says why.
  virtual bool SetSystemTime(const SystemTimeFields& time, std::string& errorText) = 0;
  // Ends the program's message loop as soon as it starts (a clock without a
  // counter is of no use to the program).
  virtual void QuitMessageLoop() = 0;

  // The platform's own source; lives for the whole process.
  static ClockSource& Platform();
};

// Runs on the new thread with the argument given to StartThread.
using ThreadProcedure = void (*)(void* argument);

class PrecisionClock : public Clock {
 public:
  // The one clock of the process, on the platform source. Made during static
  // initialisation and never destroyed.
  static PrecisionClock& Instance();

  // Tests make their own clock on a simulated source; source must outlive it.
  explicit PrecisionClock(ClockSource& source);
  PrecisionClock(const PrecisionClock&) = delete;
  PrecisionClock& operator=(const PrecisionClock&) = delete;

  // Current UTC time; may resynchronise first (every 30 s). Thread-safe.
  TimeClass Now() override;
  NtpTimestamp NowNtp();
  // Sets the system clock to time (UTC), milliseconds truncated. A refusal is
  // logged and reported as false. Does not resynchronise.
  bool SetClock(const TimeClass& time) override;
  // The same, with the system's reason in errorText instead of a log entry.
  bool SetClock(const TimeClass& time, std::string& errorText);

  // Starts procedure(argument) on a new thread at a priority level: -3 idle,
  // -1 below normal, 0 normal, 1 above normal, 2 highest, 3 time-critical;
  // other levels run normal. False when no thread could be made; a refused
  // priority is logged and the thread runs at its default priority.
  static bool StartThread(const char* name, ThreadProcedure procedure, void* argument,
                          int32_t priority);
  static void Sleep(uint32_t ms);

  // The anchor, for tests.
  int64_t Frequency() const { return frequency; }
  int64_t SyncCounter();
  TimeClass SyncTime();

 private:
  void Resync();

  ClockSource& m_source;
  std::mutex m_lock;        // keeps syncCounter and syncTime one pair
  int64_t frequency = 0;    // counts per second, read once; 0 when there is no counter
  int64_t syncCounter = 0;  // counter at the last synchronisation
  TimeClass syncTime;       // UTC at the last synchronisation
};

// Platform part of StartThread: makes the thread and applies the priority
// level, reporting a refusal through ReportRefusedPriority.
bool StartPlatformThread(ThreadProcedure procedure, void* argument, int32_t priority);
// The platform's thread priority for a level (Windows THREAD_PRIORITY_*; on
// POSIX an offset to the thread's nice value).
int32_t PlatformThreadPriority(int32_t level);
void PlatformSleep(uint32_t ms);
// Logs a priority change that the system refused.
void ReportRefusedPriority(int32_t level, const std::string& errorText);

}  // namespace veltraw
