#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "LIB/Log/Failure.h"
#include "LIB/Log/LogSinks.h"

namespace veltraw {
namespace {

TEST(ErrorTextWindows, SystemMessagesWithCodeInHexAndSignedDecimal) {
  const std::string denied = windowsErrorText(ERROR_ACCESS_DENIED);
  EXPECT_EQ(denied.rfind("Access denied", 0) == 0 || denied.rfind("Access is denied", 0) == 0, true)
      << denied;
  // A code with the top bit set reads as a negative decimal number.
  const std::string failed = windowsErrorText(0x80004005u);  // E_FAIL
  const std::string suffix = " (0x80004005 / -2147467259)";
  ASSERT_GT(failed.size(), suffix.size()) << failed;
  EXPECT_EQ(failed.substr(failed.size() - suffix.size()), suffix);
  SetLastError(ERROR_FILE_NOT_FOUND);
  const std::string last = lastErrorText();
  EXPECT_NE(last.find("(0x00000002 / 2)"), std::string::npos) << last;
}

// OutputDebugStringA announces its text to a debugger as an exception; a
// vectored handler sees it as a debugger would.
std::string g_caught;
LONG CALLBACK catchDebugString(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
    // The length counts the terminating NUL.
    const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    g_caught.append(text, strnlen(text, static_cast<size_t>(record->ExceptionInformation[0])));
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(DebuggerOutputWindows, DebugSinkReachesTheDebugger) {
  void* handler = AddVectoredExceptionHandler(1, catchDebugString);
  ASSERT_NE(handler, nullptr);
  DebugLogSink sink;
  sink.level = Trace;
  ErrorLog::instance().addSink(&sink);
  ErrorLog::instance().begin(Trace) << "to the debugger" << End;
  ErrorLog::instance().removeSink(&sink);
  RemoveVectoredExceptionHandler(handler);
  EXPECT_NE(g_caught.find(">: to the debugger"), std::string::npos) << g_caught;
  EXPECT_NE(g_caught.find("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace veltraw
