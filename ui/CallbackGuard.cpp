#include "ui/CallbackGuard.h"

#include <mutex>

namespace veltraw {

namespace {

std::mutex& pendingLock() {
  static std::mutex lock;
  return lock;
}

std::exception_ptr& pending() {
  static std::exception_ptr exception;
  return exception;
}

}  // namespace

bool guardCallback(const std::function<void()>& work, QuitRequest quit) {
  try {
    work();
    return true;
  } catch (...) {
    {
      std::lock_guard<std::mutex> hold(pendingLock());
      // Later ones are mostly consequences of the first.
      if (!pending()) pending() = std::current_exception();
    }
    if (quit) quit();
    return false;
  }
}

bool hasPendingCallbackException() {
  std::lock_guard<std::mutex> hold(pendingLock());
  return static_cast<bool>(pending());
}

void rethrowPendingCallbackException() {
  std::exception_ptr exception;
  {
    std::lock_guard<std::mutex> hold(pendingLock());
    exception = pending();
    pending() = nullptr;
  }
  if (exception) std::rethrow_exception(exception);
}

}  // namespace veltraw
