// The log's system services on Windows.
#include <windows.h>

#include <atomic>
#include <new>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/LogSinks.h"

namespace veltraw {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "RecursiveLock storage too small");

RecursiveLock::RecursiveLock() {
  InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_storage));
}
RecursiveLock::~RecursiveLock() {
  DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_storage));
}
void RecursiveLock::lock() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_storage)); }
void RecursiveLock::unlock() {
  LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_storage));
}

namespace {

class WindowsLogEnvironment : public LogEnvironment {
 public:
  std::time_t now() override { return std::time(nullptr); }
  uint32_t tickCount() override { return GetTickCount(); }
  unsigned long threadId() override { return GetCurrentThreadId(); }
};

std::atomic<DebuggerHook> g_debuggerHook{nullptr};

}  // namespace

void utcBreakdown(std::time_t time, std::tm& utc) { gmtime_s(&utc, &time); }

LogEnvironment& LogEnvironment::Platform() {
  static WindowsLogEnvironment environment;
  return environment;
}

void debuggerOutput(const char* text) {
  OutputDebugStringA(text);
  if (DebuggerHook hook = g_debuggerHook.load()) hook(text);
}

void setDebuggerHook(DebuggerHook hook) { g_debuggerHook.store(hook); }

}  // namespace veltraw
