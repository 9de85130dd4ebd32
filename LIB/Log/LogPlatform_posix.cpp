// The log's system services where there is no Windows: a recursive mutex, the
// monotonic clock as tick count, the kernel thread id.
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <new>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/LogSinks.h"

namespace veltraw {

static_assert(sizeof(std::recursive_mutex) <= 64, "RecursiveLock storage too small");

RecursiveLock::RecursiveLock() { new (m_storage) std::recursive_mutex(); }
RecursiveLock::~RecursiveLock() {
  reinterpret_cast<std::recursive_mutex*>(m_storage)->~recursive_mutex();
}
void RecursiveLock::lock() { reinterpret_cast<std::recursive_mutex*>(m_storage)->lock(); }
void RecursiveLock::unlock() { reinterpret_cast<std::recursive_mutex*>(m_storage)->unlock(); }

namespace {

class PosixLogEnvironment : public LogEnvironment {
 public:
  std::time_t now() override { return std::time(nullptr); }
  uint32_t tickCount() override {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
  }
  unsigned long threadId() override { return static_cast<unsigned long>(syscall(SYS_gettid)); }
};

std::atomic<DebuggerHook> g_debuggerHook{nullptr};

}  // namespace

void utcBreakdown(std::time_t time, std::tm& utc) { gmtime_r(&time, &utc); }

LogEnvironment& LogEnvironment::Platform() {
  static PosixLogEnvironment environment;
  return environment;
}

// No debugger channel here: the sink's copy on standard error is what a user
// sees; tests listen through the hook.
void debuggerOutput(const char* text) {
  if (DebuggerHook hook = g_debuggerHook.load()) hook(text);
}

void setDebuggerHook(DebuggerHook hook) { g_debuggerHook.store(hook); }

}  // namespace veltraw
