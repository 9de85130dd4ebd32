#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "LIB/Time/TimeClass.h"
#include "TimeTestSupport.h"

namespace veltraw {
namespace {

using test::makeTime;
using ::testing::ThrowsMessage;

TEST(Calendar, LeapYearsAndMonthsOutOfRange) {
  for (uint16_t year : {1900, 2001, 2100}) EXPECT_FALSE(isLeapYear(year)) << year;
  for (uint16_t year : {2000, 2004, 2400}) EXPECT_TRUE(isLeapYear(year)) << year;
  for (int month : {0, 13}) {
    EXPECT_THAT(
        [&] { daysInMonth(2006, month); },
        ThrowsMessage<TimeError>("TimeError: month out of range: " + std::to_string(month)));
  }
  // Inside the calendar a bad month is a broken rule, not a read past a table.
  test::CaptureSink quiet;
  EXPECT_THROW(dayOfYear(2006, 13, 1), const char*);
}

TEST(TimeError, KeepsItsTextInCopiesAndTheBaseMessageApart) {
  const TimeError error("secondsInDay", 4294967295u);
  TimeError copy(error);
  TimeError assigned("day", 0);
  assigned = error;
  const TimeError* all[] = {&error, &copy, &assigned};
  for (const TimeError* e : all) {
    EXPECT_STREQ("TimeError: secondsInDay out of range: 4294967295", e->what());
    EXPECT_STREQ("TimeError", std::runtime_error(*e).what());  // what the exception box shows
  }
  EXPECT_NE(error.what(), copy.what());
}

TEST(TimeClass, SettersRejectOutOfRangeAndKeepTheTime) {
  using Set = std::function<void(TimeClass&)>;
  const std::vector<std::pair<Set, const char*>> cases = {
      {[](TimeClass& t) { t.setYear(1899); }, "year out of range: 1899"},
      {[](TimeClass& t) { t.setMonth(0); }, "month out of range: 0"},
      {[](TimeClass& t) { t.setMonth(13); }, "month out of range: 13"},
      {[](TimeClass& t) { t.setDay(0); }, "day out of range: 0"},
      {[](TimeClass& t) { t.setDay(31); }, "day out of range: 31"},  // April
      {[](TimeClass& t) { t.setHour(25); }, "hour out of range: 25"},
      {[](TimeClass& t) { t.setMinute(60); }, "minute out of range: 60"},
      {[](TimeClass& t) { t.setSecond(60); }, "second out of range: 60"},
      {[](TimeClass& t) { t.setMicrosecond(1000000); }, "microsecond out of range: 1000000"},
      {[](TimeClass& t) { t.setSecondsInDay(86400); }, "secondsInDay out of range: 86400"},
      // All or nothing: no new hour (or minute) stays behind.
      {[](TimeClass& t) { t.setTimeOfDay(1, 60, 1); }, "minute out of range: 60"},
      {[](TimeClass& t) { t.setTimeOfDay(1, 1, 60); }, "second out of range: 60"},
      {[](TimeClass& t) { t.setDayNumber(TimeClass::kLastDayNumber + 1); },
       "year out of range: 65536"},
      {[](TimeClass& t) { t.setDayNumber(0xFFFFFFFF); }, "year out of range: 11761121"},
  };
  const TimeClass before = makeTime(2006, 4, 30, 13, 45, 50, 0x12345678);
  for (const auto& c : cases) {
    TimeClass time = before;
    EXPECT_THAT([&] { c.first(time); },
                ThrowsMessage<TimeError>(std::string("TimeError: ") + c.second));
    EXPECT_EQ(before, time) << c.second;
  }
}

TEST(TimeClass, FractionsRoundToTheNearestMicroAndMillisecond) {
  TimeClass time;
  // fraction, microseconds, milliseconds: halves up, the top of a second to a whole one.
  const uint32_t cases[][3] = {
      {0xFFFFFFFF, 1000000, 1000}, {0x80000000, 500000, 500}, {2147483, 500, 0}, {2147484, 500, 1}};
  for (const auto& c : cases) {
    time.fraction = c[0];
    EXPECT_EQ(c[1], time.microsecond()) << c[0];
    EXPECT_EQ(c[2], time.millisecond()) << c[0];
  }
}

TEST(TimeClass, KnownDaysWeekdaysIsoWeeksAndJulianDays) {
  struct Case {
    TimeClass date;
    uint32_t dayNumber;
    int32_t weekday, isoWeek, julianOffset;  // weekday 0 is Sunday
  };
  const Case cases[] = {
      {makeTime(1900, 1, 1), 0, 1, 1, 15021},        {makeTime(2000, 1, 1), 36524, 6, 52, 51545},
      {makeTime(2004, 12, 31), 38350, 5, 53, 53371}, {makeTime(2005, 1, 1), 38351, 6, 53, 53372},
      {makeTime(2006, 3, 5), 38779, 0, 9, 53800},    {makeTime(2008, 12, 29), 39809, 1, 1, 54830},
      {makeTime(2010, 1, 3), 40179, 0, 53, 55200},   {makeTime(2021, 1, 1), 44195, 5, 53, 59216},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.dayNumber, c.date.dayNumber()) << c.dayNumber;
    EXPECT_EQ(c.weekday, c.date.weekday()) << c.dayNumber;
    EXPECT_EQ(c.isoWeek, c.date.isoWeek()) << c.dayNumber;
    EXPECT_EQ(c.julianOffset, c.date.julianDayNumberOffset()) << c.dayNumber;
  }
  EXPECT_DOUBLE_EQ(2451545.25, makeTime(2000, 1, 1, 18).julianDate());
  EXPECT_DOUBLE_EQ(2451544.5 + 0.5 / 86400, makeTime(2000, 1, 1, 0, 0, 0, 0x80000000).julianDate());
}

TEST(TimeClass, OrderIsFieldByFieldWithTheFractionUnsigned) {
  const TimeClass base = makeTime(2006, 3, 5, 9, 7, 9, 1);
  for (const TimeClass& later :
       {makeTime(2007, 1, 1), makeTime(2006, 4, 1), makeTime(2006, 3, 6), makeTime(2006, 3, 5, 10),
        makeTime(2006, 3, 5, 9, 8), makeTime(2006, 3, 5, 9, 7, 10),
        makeTime(2006, 3, 5, 9, 7, 9, 0x80000000)}) {
    EXPECT_TRUE(base < later) << testing::PrintToString(later);
    EXPECT_FALSE(later < base) << testing::PrintToString(later);
    EXPECT_NE(base, later);
  }
  EXPECT_FALSE(base < base);
}

TEST(TimeClassLog, WritesDateTimeAndSixRoundedDigits) {
  const std::pair<TimeClass, const char*> cases[] = {
      {TimeClass(), "1900-1-1 0:00:00.000000"},
      {makeTime(2006, 3, 5, 9, 7, 9, 0x40000000), "2006-3-5 9:07:09.250000"},
      {makeTime(2036, 12, 31, 23, 59, 59, 0x80000000), "2036-12-31 23:59:59.500000"},
      {makeTime(2006, 3, 5, 9, 7, 9, 429496515), "2006-3-5 9:07:09.100000"},   // carries 5 digits
      {makeTime(2006, 3, 5, 9, 7, 9, 0xFFFFFFFF), "2006-3-5 9:07:09.999999"},  // not the second
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, test::logText(c.first));
}

}  // namespace
}  // namespace veltraw
