// The calendar conversions run for every clock reading and must not touch the
// heap.
#include <gtest/gtest.h>

#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/TimeClass.h"
#include "support/CountingNew.h"

namespace veltraw {
namespace {

TEST(Allocation, CalendarConversionsAndTimeErrorsUseNoHeap) {
  TimeError warmUp("year", 1);  // the shared base message is made once
  TimeClass time;
  uint64_t sum = 0;
  const long before = test::AllocationsSoFar();
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
  EXPECT_EQ(before, test::AllocationsSoFar());
  EXPECT_NE(0u, sum);
}

}  // namespace
}  // namespace veltraw
