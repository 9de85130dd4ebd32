#include <gtest/gtest.h>


#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/TimeClass.h"
#include "TimeTestSupport.h"

namespace veltraw {
namespace {

using test::makeTime;

TEST(NtpTimestamp, DifferencesReadSignedAndAbsKeepsTheLowest) {
  NtpTimestamp difference = NtpTimestamp::Make(0, 0x80000000) - NtpTimestamp::Make(1, 0);
  EXPECT_EQ(NtpTimestamp::Make(0xFFFFFFFF, 0x80000000), difference);  // borrows from the seconds
  EXPECT_TRUE(difference.IsNegative());
  for (int round = 0; round < 2; ++round) {  // non-negative values stay
    difference.Abs();
    EXPECT_EQ(NtpTimestamp::Make(0, 0x80000000), difference);
  }
  // The most negative difference has no positive counterpart and stays as it is.
  NtpTimestamp lowest(uint64_t{1} << 63);
  lowest.Abs();
  EXPECT_EQ(NtpTimestamp(uint64_t{1} << 63), lowest);
}

TEST(NtpCalendar, KnownInstantsAndTheEraRule) {
  const NtpTimestamp t = NtpTimestamp::Make(0xC76B0235, 0x80000000);
  const TimeClass calendar = makeTime(2006, 1, 8, 3, 15, 1, 0x80000000);
  EXPECT_EQ(calendar, t.ToCalendar());
  EXPECT_EQ(t, NtpTimestamp::FromCalendar(calendar));
  // Bit 31 clear is the era after 2036-02-07 06:28:16.
  EXPECT_EQ(makeTime(2036, 2, 7, 6, 28, 16), NtpTimestamp().ToCalendar());
  EXPECT_EQ(makeTime(1968, 1, 20, 3, 14, 8), NtpTimestamp::Make(0x80000000, 0).ToCalendar());
  EXPECT_EQ(makeTime(2104, 2, 26, 9, 42, 23, 0xFFFFFFFF),
            NtpTimestamp::Make(0x7FFFFFFF, 0xFFFFFFFF).ToCalendar());
  EXPECT_EQ(makeTime(2036, 2, 7, 6, 28, 15), NtpTimestamp::Make(0xFFFFFFFF, 0).ToCalendar());
  // Instants after the wrap, and before 1968, land on the same 32-bit seconds.
  EXPECT_EQ(NtpTimestamp(), NtpTimestamp::FromCalendar(makeTime(2036, 2, 7, 6, 28, 16)));
  EXPECT_EQ(NtpTimestamp::Make(1, 0), NtpTimestamp::FromCalendar(makeTime(1900, 1, 1, 0, 0, 1)));
  EXPECT_EQ(NtpTimestamp::Make(86400, 0), NtpTimestamp::FromCalendar(makeTime(1900, 1, 1, 24)));
}

}  // namespace
}  // namespace veltraw
