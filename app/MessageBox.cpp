#include "app/MessageBox.h"

#include <mutex>
#include <utility>

namespace veltraw {

namespace {

std::mutex g_handlerLock;
MessageBoxHandler g_handler;

}  // namespace

int32_t showMessageBox(const MessageBoxRequest& request) {
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> hold(g_handlerLock);
    handler = g_handler;
  }
  // A box blocks until it is answered, so it is shown outside the lock.
  return handler ? handler(request) : platformMessageBox(request);
}

void setMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> hold(g_handlerLock);
  g_handler = std::move(handler);
}

}  // namespace veltraw
