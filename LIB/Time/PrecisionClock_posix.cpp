// The clock's system services without Windows: the monotonic clock as the
// counter, the real-time clock read to the millisecond (never set), POSIX
// threads whose priority levels move the thread's nice value (no real-time
// policy).
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "LIB/Log/Failure.h"
#include "LIB/Time/PrecisionClock.h"

namespace veltraw {

namespace {

class PosixClockSource : public ClockSource {
 public:
  bool CounterFrequency(int64_t& countsPerSecond) override {
    countsPerSecond = 1000000000;  // nanoseconds
    return true;
  }

  int64_t Counter() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  }

  SystemTimeFields SystemTime() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    SystemTimeFields fields;
    fields.year = static_cast<uint16_t>(utc.tm_year + 1900);
    fields.month = static_cast<uint16_t>(utc.tm_mon + 1);
    fields.day = static_cast<uint16_t>(utc.tm_mday);
    fields.hour = static_cast<uint16_t>(utc.tm_hour);
    fields.minute = static_cast<uint16_t>(utc.tm_min);
    fields.second = static_cast<uint16_t>(utc.tm_sec);
    fields.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
    return fields;
  }

  // A null driver for setting: the native build exists for tests, fuzzers and
  // benchmarks, often run as root on shared machines, and must never move the
  // machine's clock. Only the Windows build sets a clock.
  bool SetSystemTime(const SystemTimeFields&, std::string& errorText) override {
    errorText = "this build never sets the system clock";
    return false;
  }

  // There is no message loop to end here, and the monotonic clock is always there.
  void QuitMessageLoop() override {}
};

struct ThreadStart {
  ThreadProcedure procedure;
  void* argument;
  int32_t level;
};

void* RunThread(void* record) {
  const ThreadStart start = *static_cast<ThreadStart*>(record);
  delete static_cast<ThreadStart*>(record);
  const int32_t offset = PlatformThreadPriority(start.level);
  if (offset != 0) {
    // Linux keeps a nice value per thread; raising one needs privileges.
    const id_t self = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, self);
    int wanted = current + offset;
    wanted = wanted < -20 ? -20 : (wanted > 19 ? 19 : wanted);
    if (setpriority(PRIO_PROCESS, self, wanted) != 0) {
      ReportRefusedPriority(start.level, lastErrorText());
    }
  }
  start.procedure(start.argument);
  return nullptr;
}

}  // namespace

ClockSource& ClockSource::Platform() {
  static PosixClockSource* source = new PosixClockSource();
  return *source;
}

int32_t PlatformThreadPriority(int32_t level) {
  switch (level) {
    case -3:
      return 39;  // idle: the weakest nice value whatever the start
    case -1:
      return 5;
    case 1:
      return -5;
    case 2:
      return -10;
    case 3:
      return -15;  // time-critical
    default:
      return 0;
  }
}

bool StartPlatformThread(ThreadProcedure procedure, void* argument, int32_t priority) {
  auto* record = new ThreadStart{procedure, argument, priority};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int result = pthread_create(&thread, &attributes, RunThread, record);
  pthread_attr_destroy(&attributes);
  if (result != 0) {
    delete record;
    return false;
  }
  return true;
}

void PlatformSleep(uint32_t ms) {
  timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace veltraw
