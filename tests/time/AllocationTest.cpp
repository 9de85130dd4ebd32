// The calendar conversions run for every clock reading and must not touch the
// heap; this program counts every allocation made through operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/TimeClass.h"

namespace {
std::atomic<long> g_allocations{0};
}

// Not inlined: GCC would otherwise pair the malloc and free it sees with new
// and delete and warn of a mismatch.
[[gnu::noinline]] void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) { return operator new(size); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace veltraw {
namespace {

TEST(Allocation, CalendarConversionsAndTimeErrorsUseNoHeap) {
  TimeError warmUp("year", 1);  // the shared base message is made once
  TimeClass time;
  uint64_t sum = 0;
  const long before = g_allocations.load();
  for (uint32_t i = 0; i < 1000; ++i) {
    time.setDayNumber(i * 40009 % 551150);
    sum += time.dayNumber();
    time.addMicroseconds(uint64_t{i} * 123456789);
    time.subtractMicroseconds(i);
    const NtpTimestamp t = NtpTimestamp::FromCalendar(time);
    sum += t.ToCalendar().dayNumber();
    const TimeError error("microsecond", i);
    const TimeError copy(error);
    sum += static_cast<unsigned char>(copy.what()[0]);
  }
  EXPECT_EQ(before, g_allocations.load());
  EXPECT_NE(0u, sum);
}

}  // namespace
}  // namespace veltraw
