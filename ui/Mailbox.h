// The one way a request thread hands a result to a window's thread. Worker
// threads never touch controls: they post into the window's mailbox, which
// wakes the window (a posted message); the window takes the results on its own
// thread. The mailbox is shared (std::shared_ptr) by the window and every
// outstanding request, so a result that arrives after the window has ended is
// dropped instead of reaching a destroyed window or freed memory.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace veltraw {

template <typename Item>
class Mailbox {
 public:
  // wake: tells the window that items wait (in the program, PostMessage to
  // the window). Called with the mailbox's lock held, so it never runs after
  // close() has returned.
  explicit Mailbox(std::function<void()> wake) : m_wake(std::move(wake)) {}

  // From any thread. False, and the item dropped, once the window has closed.
  bool post(Item item) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_closed) return false;
    m_items.push_back(std::move(item));
    m_wake();
    return true;
  }

  // On the window's thread: everything posted so far, in arrival order.
  std::vector<Item> take() {
    std::lock_guard<std::mutex> hold(m_lock);
    return std::exchange(m_items, {});
  }

  // The window is going; nothing is delivered or woken from here on.
  void close() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_closed = true;
    m_items.clear();
  }

  bool closed() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_closed;
  }

  // A heap copy of the shared pointer, to travel as a request's opaque
  // context; the callback takes it back with fromContext, exactly once.
  static void* toContext(const std::shared_ptr<Mailbox>& mailbox) {
    return new std::shared_ptr<Mailbox>(mailbox);
  }
  static std::shared_ptr<Mailbox> fromContext(void* context) {
    std::unique_ptr<std::shared_ptr<Mailbox>> owned(
        static_cast<std::shared_ptr<Mailbox>*>(context));
    return *owned;
  }

 private:
  mutable std::mutex m_lock;
  std::function<void()> m_wake;
  std::vector<Item> m_items;
  bool m_closed = false;
};

}  // namespace veltraw
