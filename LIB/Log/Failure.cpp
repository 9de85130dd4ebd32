#include "LIB/Log/Failure.h"

#include <cstdio>
#include <stdexcept>

#include "LIB/Log/ErrorLog.h"

namespace veltraw {

void reportNoBacktrace(uint32_t address) {
  ErrorLog::instance().begin(Fatal) << "Backtrace not available; last PC is " << address << End;
}

void assertionFailed(const char* expression, const char* file, int32_t line) {
  ErrorLog::instance().begin(Fatal)
      << "Assertion failed: " << expression << " in " << file << ":" << line << End;
  reportNoBacktrace(0);
  std::fprintf(stderr, "Assertion failed: %s in %s:%d\n", expression, file, static_cast<int>(line));
  throw "Assertion failure";
}

std::string windowsErrorText(uint32_t code) {
  std::string text;
  if (!systemErrorMessage(code, text)) return "Windows FormatMessage failed in getting error text";
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, " (0x%08X / %ld)", static_cast<unsigned>(code),
                static_cast<long>(static_cast<int32_t>(code)));
  return text + suffix;
}

std::string lastErrorText() { return windowsErrorText(lastErrorCode()); }

bool runReportingExceptions(const std::function<void()>& work, const ExceptionBox& showBox) {
  try {
    work();
    return true;
  } catch (const std::runtime_error& e) {
    // A copy of the runtime_error part: the box shows the message it was made
    // with, not a derived class's own text.
    const std::runtime_error base = e;
    showBox("Veltraw Exception", base.what());
    return false;
  }
}

}  // namespace veltraw
