// Keeps C++ exceptions from crossing a Win32 callback. A window, timer or
// dialog procedure runs its work through guardCallback; an exception is kept
// (the first one wins), the message loop is asked to end, and the entry
// rethrows it after the loop, where its normal handling and teardown apply.
#pragma once

#include <exception>
#include <functional>

namespace veltraw {

// Ends the message loop; the platform's PostQuitMessage in the program.
using QuitRequest = void (*)();

// Runs work; true when it returned normally. On an exception: keeps it, calls
// quit and returns false.
bool guardCallback(const std::function<void()>& work, QuitRequest quit);

// True while an exception is kept.
bool hasPendingCallbackException();
// Rethrows the kept exception, if any, and forgets it.
void rethrowPendingCallbackException();

}  // namespace veltraw
