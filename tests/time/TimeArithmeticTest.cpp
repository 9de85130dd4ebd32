#include <gtest/gtest.h>

#include "LIB/Time/TimeClass.h"
#include "TimeTestSupport.h"

namespace veltraw {
namespace {

using test::describe;
using test::makeTime;

// The instant in microseconds since 1900, as the arithmetic sees it.
uint64_t totalMicroseconds(const TimeClass& t) {
  return (uint64_t{t.dayNumber()} * 86400 + t.secondsInDay()) * 1000000 + t.microsecond();
}

bool isValidDate(const TimeClass& t) {
  return t.year() >= 1900 && t.month() >= 1 && t.month() <= 12 && t.day() >= 1 &&
         t.day() <= daysInMonth(t.year(), t.month()) && t.hour() < 24 && t.minute() < 60 &&
         t.second() < 60;
}

TimeClass withMicrosecond(TimeClass time, uint32_t us) {
  time.setMicrosecond(us);
  return time;
}

TEST(TimeArithmetic, CarriesThroughDayMonthAndYear) {
  TimeClass time = withMicrosecond(makeTime(2005, 12, 31, 23, 59, 59), 999500);
  time.addMilliseconds(1);
  EXPECT_EQ(withMicrosecond(makeTime(2006, 1, 1), 500), time) << describe(time);

  time = makeTime(2004, 3, 1);
  time.subtractMilliseconds(1);
  EXPECT_EQ(withMicrosecond(makeTime(2004, 2, 29, 23, 59, 59), 999000), time) << describe(time);

  time = makeTime(2006, 3, 5, 12);
  time.subtractMicroseconds(uint64_t{365} * 86400 * 1000000);
  EXPECT_EQ(makeTime(2005, 3, 5, 12), time) << describe(time);
}

TEST(TimeArithmetic, LargeCountsDoNotWrap) {
  // 4294967295 ms would overflow a 32-bit microsecond product.
  TimeClass time = makeTime(2000, 1, 1);
  time.addMilliseconds(4294967295u);
  EXPECT_EQ(withMicrosecond(makeTime(2000, 2, 19, 17, 2, 47), 295000), time) << describe(time);
  time.subtractMilliseconds(4294967295u);
  EXPECT_EQ(makeTime(2000, 1, 1), time) << describe(time);

  // Two centuries is more than 2^32 seconds.
  const uint64_t twoCenturies = uint64_t{73049} * 86400 * 1000000;
  time = TimeClass();
  time.addMicroseconds(twoCenturies);
  EXPECT_EQ(makeTime(2100, 1, 1), time) << describe(time);
  time.subtractMicroseconds(twoCenturies);
  EXPECT_EQ(TimeClass(), time) << describe(time);
}

TEST(TimeArithmetic, FractionRoundedUpToAWholeSecondCarries) {
  const TimeClass nearlyNewYear = makeTime(2006, 12, 31, 23, 59, 59, 0xFFFFFFFF);
  ASSERT_EQ(1000000u, nearlyNewYear.microsecond());

  TimeClass time = nearlyNewYear;
  time.addMicroseconds(0);
  EXPECT_EQ(makeTime(2007, 1, 1), time) << describe(time);

  time = nearlyNewYear;
  time.subtractMicroseconds(0);
  EXPECT_EQ(makeTime(2007, 1, 1), time) << describe(time);

  time = nearlyNewYear;
  time.subtractMicroseconds(1);
  EXPECT_EQ(withMicrosecond(makeTime(2006, 12, 31, 23, 59, 59), 999999), time) << describe(time);

  time = nearlyNewYear;
  time.subtractMicroseconds(1000001);
  EXPECT_EQ(withMicrosecond(makeTime(2006, 12, 31, 23, 59, 58), 999999), time) << describe(time);
}

TEST(TimeArithmetic, HourTwentyFourIsTheNextMidnight) {
  TimeClass time = makeTime(2006, 12, 31, 24, 30);
  time.addMilliseconds((23 * 60 + 50) * 60000);
  EXPECT_EQ(makeTime(2007, 1, 2, 0, 20), time) << describe(time);

  time = makeTime(2006, 12, 31, 24);
  time.subtractMicroseconds(0);
  EXPECT_EQ(makeTime(2007, 1, 1), time) << describe(time);

  time = makeTime(2006, 12, 31, 24);
  time.subtractMilliseconds(1000);
  EXPECT_EQ(makeTime(2006, 12, 31, 23, 59, 59), time) << describe(time);
}

TEST(TimeArithmetic, LeavingTheRangeThrowsAndKeepsTheTime) {
  TimeClass time;
  EXPECT_THROW(time.subtractMicroseconds(1), TimeError);
  EXPECT_EQ(TimeClass(), time) << describe(time);
  try {
    time.subtractMilliseconds(86400000);
    FAIL() << describe(time);
  } catch (const TimeError& e) {
    EXPECT_STREQ("TimeError: year out of range: 1899", e.what());
  }

  const TimeClass last = makeTime(65535, 12, 31, 23, 59, 59, 0x12345678);
  time = last;
  try {
    time.addMilliseconds(1000);
    FAIL() << describe(time);
  } catch (const TimeError& e) {
    EXPECT_STREQ("TimeError: year out of range: 65536", e.what());
  }
  EXPECT_EQ(last, time) << describe(time);  // fraction not yet rounded either
  time.addMilliseconds(900);
  EXPECT_EQ(withMicrosecond(makeTime(65535, 12, 31, 23, 59, 59), 971111), time) << describe(time);
}

TEST(TimeArithmetic, AddingAndSubtractingMoveTheInstantExactly) {
  test::Random random(20060305);
  for (int i = 0; i < 20000; ++i) {
    TimeClass start;
    start.setDayNumber(15000 + random.below(551149 - 15000));
    start.setSecondsInDay(random.below(86400));
    start.fraction = static_cast<uint32_t>(random.next());
    // Amounts from microseconds to about 35 years, evenly over their sizes.
    const uint64_t amount = random.next() >> (14 + random.below(50));
    const uint64_t before = totalMicroseconds(start);

    TimeClass time = start;
    time.addMicroseconds(amount);
    ASSERT_TRUE(isValidDate(time)) << describe(time);
    ASSERT_EQ(before + amount, totalMicroseconds(time)) << describe(start) << " + " << amount;
    time.subtractMicroseconds(amount);
    ASSERT_EQ(before, totalMicroseconds(time)) << describe(start) << " +- " << amount;

    time = start;
    time.subtractMicroseconds(amount);
    ASSERT_TRUE(isValidDate(time)) << describe(time);
    ASSERT_EQ(before - amount, totalMicroseconds(time)) << describe(start) << " - " << amount;

    const auto ms = static_cast<uint32_t>(random.next());
    time = start;
    time.addMilliseconds(ms);
    ASSERT_EQ(before + uint64_t{ms} * 1000, totalMicroseconds(time)) << describe(start);
  }
}

}  // namespace
}  // namespace veltraw
