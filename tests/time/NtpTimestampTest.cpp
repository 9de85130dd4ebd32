#include <gtest/gtest.h>

#include <cstring>

#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/TimeClass.h"
#include "TimeTestSupport.h"

namespace veltraw {
namespace {

using test::describe;
using test::makeTime;

TEST(NtpTimestamp, WireTextAndSeconds) {
  const NtpTimestamp t = NtpTimestamp::Make(0xC76B0235, 0x80000000);
  EXPECT_EQ(3345678901u, t.seconds());
  EXPECT_EQ(0x80000000u, t.fraction());
  EXPECT_EQ("c76b0235.80000000", t.ToText());
  EXPECT_DOUBLE_EQ(3345678901.5, t.ToSeconds());

  uint8_t bytes[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0xAA};
  EXPECT_EQ(8, t.WriteWire(bytes));
  const uint8_t expected[9] = {0xC7, 0x6B, 0x02, 0x35, 0x80, 0x00, 0x00, 0x00, 0xAA};
  EXPECT_EQ(0, std::memcmp(expected, bytes, sizeof bytes));

  NtpTimestamp read = NtpTimestamp::Make(0xFFFFFFFF, 0xFFFFFFFF);  // replaced entirely
  const uint8_t wire[8] = {0x00, 0x00, 0x00, 0x01, 0x40, 0x00, 0x00, 0x00};
  EXPECT_EQ(8, read.ReadWire(wire));
  EXPECT_EQ(NtpTimestamp::Make(1, 0x40000000), read);
  EXPECT_DOUBLE_EQ(1.25, read.ToSeconds());

  const NtpTimestamp zero;
  EXPECT_TRUE(zero.IsZero());
  EXPECT_EQ("00000000.00000000", zero.ToText());
  EXPECT_FALSE(NtpTimestamp::Make(0, 1).IsZero());
  EXPECT_FALSE(NtpTimestamp::Make(1, 0).IsZero());
  EXPECT_EQ("0000000a.0000000f", NtpTimestamp::Make(10, 15).ToText());
}

TEST(NtpTimestamp, ArithmeticCarriesBetweenTheHalvesAndWraps) {
  const NtpTimestamp one = NtpTimestamp::Make(1, 0);
  const NtpTimestamp half = NtpTimestamp::Make(0, 0x80000000);
  EXPECT_EQ(half, one - half);  // borrow from the seconds

  NtpTimestamp difference = half - one;
  EXPECT_EQ(NtpTimestamp::Make(0xFFFFFFFF, 0x80000000), difference);
  EXPECT_TRUE(difference.IsNegative());
  difference.Abs();
  EXPECT_EQ(half, difference);
  EXPECT_FALSE(difference.IsNegative());
  difference.Abs();  // non-negative values stay
  EXPECT_EQ(half, difference);

  EXPECT_EQ(one, half + half);  // carry into the seconds
  EXPECT_EQ(NtpTimestamp::Make(0, 0x7FFFFFFF),
            NtpTimestamp::Make(0xFFFFFFFF, 0xFFFFFFFF) + NtpTimestamp::Make(0, 0x80000000));

  NtpTimestamp t = NtpTimestamp::Make(5, 0x10000000);
  t -= NtpTimestamp::Make(2, 0x20000000);
  EXPECT_EQ(NtpTimestamp::Make(2, 0xF0000000), t);

  // The most negative difference has no positive counterpart and stays as it is.
  NtpTimestamp lowest(uint64_t{1} << 63);
  lowest.Abs();
  EXPECT_EQ(NtpTimestamp(uint64_t{1} << 63), lowest);
}

TEST(NtpTimestamp, LogShowsTheText) {
  EXPECT_EQ("00000000.0ccccccc", test::logText(NtpTimestamp::Make(0, 0x0CCCCCCC)));
}

TEST(NtpCalendar, KnownInstantsAndTheEraRule) {
  const NtpTimestamp t = NtpTimestamp::Make(0xC76B0235, 0x80000000);
  const TimeClass calendar = makeTime(2006, 1, 8, 3, 15, 1, 0x80000000);
  EXPECT_EQ(calendar, t.ToCalendar()) << describe(t.ToCalendar());
  EXPECT_EQ(t, NtpTimestamp::FromCalendar(calendar));

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

TEST(NtpCalendar, TimestampsSurviveTheCalendar) {
  test::Random random(0xC76B0235);
  for (uint64_t seconds = 0; seconds <= 0xFFFFFFFF; seconds += 65521 + random.below(2)) {
    const NtpTimestamp t =
        NtpTimestamp::Make(static_cast<uint32_t>(seconds), static_cast<uint32_t>(random.next()));
    const TimeClass calendar = t.ToCalendar();
    ASSERT_EQ(t, NtpTimestamp::FromCalendar(calendar)) << t.ToText() << " " << describe(calendar);
    ASSERT_LT(calendar.hour(), 24);
  }
}

TEST(NtpCalendar, CalendarTimesOfBothErasSurviveTheTimestamp) {
  const TimeClass first = makeTime(1968, 1, 20, 3, 14, 8);
  const TimeClass last = makeTime(2104, 2, 26, 9, 42, 23, 0xFFFFFFFF);
  EXPECT_EQ(first, NtpTimestamp::FromCalendar(first).ToCalendar());
  EXPECT_EQ(last, NtpTimestamp::FromCalendar(last).ToCalendar());

  test::Random random(2036);
  const uint32_t firstDay = first.dayNumber() + 1;
  const uint32_t lastDay = last.dayNumber() - 1;
  for (int i = 0; i < 100000; ++i) {
    TimeClass calendar;
    calendar.setDayNumber(firstDay + random.below(lastDay - firstDay + 1));
    calendar.setSecondsInDay(random.below(86400));
    calendar.fraction = static_cast<uint32_t>(random.next());
    ASSERT_EQ(calendar, NtpTimestamp::FromCalendar(calendar).ToCalendar()) << describe(calendar);
  }
}

}  // namespace
}  // namespace veltraw
