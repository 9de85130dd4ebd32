// Results posted by request threads reach a window only while it is open.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/Mailbox.h"

namespace veltraw {
namespace {

TEST(Mailbox, DeliversInOrderUntilClosedThenDropsEverything) {
  int wakes = 0;
  auto box = std::make_shared<Mailbox<int>>([&] { ++wakes; });
  EXPECT_TRUE(box->post(1));
  EXPECT_TRUE(box->post(2));
  EXPECT_EQ(box->take(), (std::vector<int>{1, 2}));
  EXPECT_TRUE(box->take().empty());

  EXPECT_TRUE(box->post(3));
  box->close();  // the window ends with a result still waiting
  EXPECT_FALSE(box->post(4));
  EXPECT_TRUE(box->take().empty());
  EXPECT_EQ(wakes, 3);

  // A request's context keeps the box alive after the window let go of it.
  void* context = Mailbox<int>::toContext(box);
  std::weak_ptr<Mailbox<int>> watch = box;
  box.reset();
  EXPECT_FALSE(watch.expired());
  EXPECT_FALSE(Mailbox<int>::fromContext(context)->post(5));
  EXPECT_TRUE(watch.expired());
}

// Late results race the window's end: close() waits for a wake under way, so
// that once it returns no thread is still waking the window.
TEST(Mailbox, CloseWaitsForAWakeUnderWay) {
  std::mutex lock;
  std::condition_variable changed;
  bool waking = false, closeReturned = false, closedDuringWake = false;
  Mailbox<int> box([&] {
    std::unique_lock<std::mutex> hold(lock);
    waking = true;
    changed.notify_all();
    // Time enough for a close() that does not wait to return.
    closedDuringWake =
        changed.wait_for(hold, std::chrono::milliseconds(200), [&] { return closeReturned; });
  });
  std::thread poster([&] { box.post(1); });
  {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return waking; });
  }
  box.close();
  {
    std::lock_guard<std::mutex> hold(lock);
    closeReturned = true;
  }
  changed.notify_all();
  poster.join();
  EXPECT_FALSE(closedDuringWake);
}

}  // namespace
}  // namespace veltraw
