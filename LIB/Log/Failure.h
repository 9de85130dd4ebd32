// Failure reporting: broken internal rules, the platform's error texts and the
// box shown for an exception that escapes the program's work.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace veltraw {

// Logs the broken rule (two Fatal entries), echoes it on standard error and
// throws the text exception "Assertion failure".
[[noreturn]] void assertionFailed(const char* expression, const char* file, int32_t line);

// The backtrace note; there is no backtrace, only the given code address.
void reportNoBacktrace(uint32_t address);

// The system's message for an error code, trailing line breaks removed, then
// " (0x%08X / %ld)". A code without a message gives
// "Windows FormatMessage failed in getting error text".
std::string windowsErrorText(uint32_t code);

// windowsErrorText of the calling thread's last error, read before anything
// else can change it.
std::string lastErrorText();

// Platform part of windowsErrorText: the system's message text for a code, or
// false when it has none.
bool systemErrorMessage(uint32_t code, std::string& message);
uint32_t lastErrorCode();

// Runs work; a std::runtime_error escaping it is shown in a box titled
// "Veltraw Exception" with the warning icon, showing the message the
// runtime_error itself was made with. Returns false when that happened.
using ExceptionBox = std::function<void(const std::string& title, const std::string& text)>;
bool runReportingExceptions(const std::function<void()>& work, const ExceptionBox& showBox);

}  // namespace veltraw
