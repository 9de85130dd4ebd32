#include "LIB/Time/PrecisionClock.h"

#include "LIB/Log/ErrorLog.h"

namespace veltraw {

namespace {

// The millisecond count in units of 2^-32 s. The factor is truncated
// (4294967, not 4294967.296), so 500 ms reads slightly below one half.
constexpr uint32_t kFractionPerMillisecond = 4294967;

// Readings extrapolate from the anchor for at most this many whole seconds.
constexpr int64_t kResyncSeconds = 30;
// Ticks a synchronisation waits at most for a clean reading of one.
constexpr int kResyncTickAttempts = 20;

TimeClass ToTimeClass(const SystemTimeFields& fields) {
  TimeClass time;
  time.setYear(fields.year);
  time.setMonth(static_cast<uint8_t>(fields.month));
  time.setDay(static_cast<uint8_t>(fields.day));
  time.setTimeOfDay(static_cast<uint8_t>(fields.hour), static_cast<uint8_t>(fields.minute),
                    static_cast<uint8_t>(fields.second));
  time.fraction = fields.milliseconds * kFractionPerMillisecond;
  return time;
}

// The one clock exists before the program entry runs.
[[maybe_unused]] PrecisionClock& g_processClock = PrecisionClock::Instance();

}  // namespace

PrecisionClock& PrecisionClock::Instance() {
  // Never destroyed: threads may still read it while the process ends.
  static PrecisionClock* clock = new PrecisionClock(ClockSource::Platform());
  return *clock;
}

PrecisionClock::PrecisionClock(ClockSource& source) : m_source(source) {
  if (!m_source.CounterFrequency(frequency) || frequency <= 0) {
    frequency = 0;
    ErrorLog::instance().begin(Fatal) << "Unable to get performance counter" << End;
    m_source.QuitMessageLoop();
  }
  std::lock_guard<std::mutex> hold(m_lock);
  Resync();
}

void PrecisionClock::Resync() {
  // Spin to the next tick of the system time, so that the anchor is the start
  // of a tick and not some unknown point inside one. The tick lies between the
  // last two reads of the system time, so it is known only as closely as the
  // counter brackets both reads: when the thread was preempted anywhere in
  // there (also between the earlier read and the counter read after it, where
  // time can jump past a tick unseen), wait for the following tick rather than
  // take an anchor that may be off by up to a millisecond.
  const int64_t closeEnough = frequency / 50000;  // 20 us of counter
  int64_t previousStart = m_source.Counter();
  SystemTimeFields previous = m_source.SystemTime();
  for (int ticks = 0;;) {
    const int64_t start = m_source.Counter();
    const SystemTimeFields next = m_source.SystemTime();
    const int64_t after = m_source.Counter();
    if (next.milliseconds != previous.milliseconds &&
        (after - previousStart <= closeEnough || ++ticks >= kResyncTickAttempts)) {
      syncCounter = after;
      syncTime = ToTimeClass(next);
      return;
    }
    previous = next;
    previousStart = start;
  }
}

TimeClass PrecisionClock::Now() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (frequency <= 0) {
    // Without a counter there is nothing to extrapolate with (and nothing to
    // divide by): the system time itself is the best reading.
    return ToTimeClass(m_source.SystemTime());
  }
  int64_t counter = m_source.Counter();
  const int64_t elapsed = (counter - syncCounter) / frequency;
  // A counter that ran backwards (elapsed below zero) is no anchor either.
  if (elapsed > kResyncSeconds || elapsed < 0) {
    Resync();
    counter = m_source.Counter();
  }
  const int64_t microseconds = (counter - syncCounter) * 1000000 / frequency;
  TimeClass result = syncTime;
  if (microseconds >= 0) {
    result.addMicroseconds(static_cast<uint64_t>(microseconds));
  } else {
    result.subtractMicroseconds(static_cast<uint64_t>(-microseconds));
  }
  return result;
}

NtpTimestamp PrecisionClock::NowNtp() { return NtpTimestamp::FromCalendar(Now()); }

int64_t PrecisionClock::SyncCounter() {
  std::lock_guard<std::mutex> hold(m_lock);
  return syncCounter;
}

TimeClass PrecisionClock::SyncTime() {
  std::lock_guard<std::mutex> hold(m_lock);
  return syncTime;
}

bool PrecisionClock::SetClock(const TimeClass& time) {
  std::string errorText;
  if (SetClock(time, errorText)) return true;
  ErrorLog::instance().begin(Fatal) << "Unable to set system time: " << errorText << End;
  return false;
}

bool PrecisionClock::SetClock(const TimeClass& time, std::string& errorText) {
  SystemTimeFields fields;
  fields.year = time.year();
  fields.month = time.month();
  fields.day = time.day();
  fields.hour = time.hour();
  fields.minute = time.minute();
  fields.second = time.second();
  // Truncated: a time set from a fresh reading can lose up to 1 ms.
  fields.milliseconds = static_cast<uint16_t>(FractionMilliseconds(time.fraction));
  return m_source.SetSystemTime(fields, errorText);
}

bool PrecisionClock::StartThread(const char* /*name*/, ThreadProcedure procedure, void* argument,
                                 int32_t priority) {
  return StartPlatformThread(procedure, argument, priority);
}

void PrecisionClock::Sleep(uint32_t ms) { PlatformSleep(ms); }

void ReportRefusedPriority(int32_t level, const std::string& errorText) {
  ErrorLog::instance().begin(Severe)
      << "Unable to set thread priority to " << level << ":" << errorText << End;
}

}  // namespace veltraw
