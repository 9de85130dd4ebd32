// Results posted by request threads reach a window only while it is open.
#include <gtest/gtest.h>

#include <atomic>
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

// Late results race the window's end: after close() returns, no thread may
// still wake the window (under ThreadSanitizer, the lock is checked too).
TEST(Mailbox, NoWakeAfterCloseWhateverTheRace) {
  std::atomic<int> wakes{0};
  auto box = std::make_shared<Mailbox<int>>([&] { ++wakes; });
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([box] {
      for (int i = 0; i < 2000; ++i) box->post(i);
    });
  }
  std::this_thread::yield();
  box->close();
  const int wakesAtClose = wakes;
  for (auto& thread : posters) thread.join();
  EXPECT_EQ(wakes, wakesAtClose);
}

}  // namespace
}  // namespace veltraw
