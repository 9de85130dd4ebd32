// The clock's system services on Windows: the performance counter, the system
// time, thread creation with a priority.
#include <windows.h>

#include "LIB/Log/Failure.h"
#include "LIB/Time/PrecisionClock.h"

namespace veltraw {

namespace {

class WindowsClockSource : public ClockSource {
 public:
  bool CounterFrequency(int64_t& countsPerSecond) override {
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency)) return false;
    countsPerSecond = frequency.QuadPart;
    return true;
  }

  int64_t Counter() override {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
  }

  SystemTimeFields SystemTime() override {
    SYSTEMTIME now;
    GetSystemTime(&now);
    SystemTimeFields fields;
    fields.year = now.wYear;
    fields.month = now.wMonth;
    fields.day = now.wDay;
    fields.hour = now.wHour;
    fields.minute = now.wMinute;
    fields.second = now.wSecond;
    fields.milliseconds = now.wMilliseconds;
    return fields;
  }

  bool SetSystemTime(const SystemTimeFields& time, std::string& errorText) override {
    SYSTEMTIME to = {};
    to.wYear = time.year;
    to.wMonth = time.month;
    to.wDay = time.day;
    to.wHour = time.hour;
    to.wMinute = time.minute;
    to.wSecond = time.second;
    to.wMilliseconds = time.milliseconds;
    // The day of the week is ignored by the system.
    if (::SetSystemTime(&to)) return true;
    errorText = lastErrorText();
    return false;
  }

  void QuitMessageLoop() override { PostQuitMessage(0); }
};

struct ThreadStart {
  ThreadProcedure procedure;
  void* argument;
};

DWORD WINAPI RunThread(LPVOID record) {
  const ThreadStart start = *static_cast<ThreadStart*>(record);
  delete static_cast<ThreadStart*>(record);
  start.procedure(start.argument);
  return 0;
}

}  // namespace

ClockSource& ClockSource::Platform() {
  static WindowsClockSource* source = new WindowsClockSource();
  return *source;
}

int32_t PlatformThreadPriority(int32_t level) {
  switch (level) {
    case -3:
      return THREAD_PRIORITY_IDLE;
    case -1:
      return THREAD_PRIORITY_BELOW_NORMAL;
    case 1:
      return THREAD_PRIORITY_ABOVE_NORMAL;
    case 2:
      return THREAD_PRIORITY_HIGHEST;
    case 3:
      return THREAD_PRIORITY_TIME_CRITICAL;
    default:
      return THREAD_PRIORITY_NORMAL;
  }
}

bool StartPlatformThread(ThreadProcedure procedure, void* argument, int32_t priority) {
  auto* record = new ThreadStart{procedure, argument};
  HANDLE thread = CreateThread(nullptr, 0, RunThread, record, 0, nullptr);
  if (thread == nullptr) {
    delete record;
    return false;
  }
  if (!SetThreadPriority(thread, PlatformThreadPriority(priority))) {
    ReportRefusedPriority(priority, lastErrorText());
  }
  // The thread runs on by itself; nobody waits for it.
  CloseHandle(thread);
  return true;
}

void PlatformSleep(uint32_t ms) { ::Sleep(ms); }

}  // namespace veltraw
