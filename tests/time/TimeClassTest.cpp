#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "LIB/Time/TimeClass.h"
#include "TimeTestSupport.h"

namespace veltraw {
namespace {

using test::describe;
using test::logText;
using test::makeTime;

// The text a TimeError carries, or "no error".
std::string errorText(const std::function<void()>& work) {
  try {
    work();
  } catch (const TimeError& e) {
    return e.what();
  }
  return "no error";
}

TEST(CalendarHelpers, LeapYearsAndMonthLengths) {
  EXPECT_FALSE(isLeapYear(1900));
  EXPECT_FALSE(isLeapYear(2100));
  EXPECT_FALSE(isLeapYear(2001));
  EXPECT_TRUE(isLeapYear(2000));
  EXPECT_TRUE(isLeapYear(2004));
  EXPECT_EQ(28, daysInMonth(1900, 2));
  EXPECT_EQ(29, daysInMonth(2000, 2));
  EXPECT_EQ(30, daysInMonth(2006, 4));
  EXPECT_EQ(31, daysInMonth(2006, 12));
  EXPECT_EQ("TimeError: month out of range: 13", errorText([] { daysInMonth(2006, 13); }));
  EXPECT_EQ("TimeError: month out of range: 0", errorText([] { daysInMonth(2006, 0); }));
}

TEST(CalendarHelpers, DaysBeforeYearAndDayOfYear) {
  EXPECT_EQ(0, daysBeforeYear(1900));
  EXPECT_EQ(365, daysBeforeYear(1901));
  EXPECT_EQ(36524, daysBeforeYear(2000));
  EXPECT_EQ(36524 + 366, daysBeforeYear(2001));
  EXPECT_EQ(-365, daysBeforeYear(1899));
  EXPECT_EQ(1, dayOfYear(2006, 1, 1));
  EXPECT_EQ(59, dayOfYear(2006, 3, 0));  // days before March
  EXPECT_EQ(60, dayOfYear(2004, 3, 0));
  EXPECT_EQ(365, dayOfYear(2006, 12, 31));
  EXPECT_EQ(366, dayOfYear(2004, 12, 31));
  EXPECT_EQ(TimeClass::kLastDayNumber,
            static_cast<uint32_t>(daysBeforeYear(65535) + dayOfYear(65535, 12, 31) - 1));
}

TEST(CalendarHelpers, BadMonthInDayOfYearIsAnAssertion) {
  test::CaptureSink sink;
  try {
    dayOfYear(2006, 13, 1);
    FAIL() << "no assertion";
  } catch (const char* text) {
    EXPECT_STREQ("Assertion failure", text);
  }
  EXPECT_TRUE(sink.contains("Assertion failed: m>=1 && m<=12 in LIB/Time/TimeClass:222"))
      << sink.all();
}

TEST(TimeError, TextBaseMessageAndCopies) {
  const TimeError error("secondsInDay", 4294967295u);
  EXPECT_STREQ("TimeError: secondsInDay out of range: 4294967295", error.what());
  const std::runtime_error& base = error;
  EXPECT_STREQ("TimeError", std::runtime_error(base).what());

  TimeError copy(error);
  EXPECT_STREQ(error.what(), copy.what());
  TimeError assigned("day", 0);
  assigned = error;
  EXPECT_STREQ(error.what(), assigned.what());
  EXPECT_NE(error.what(), copy.what());  // its own buffer, not a pointer to the original's
}

TEST(TimeClass, DefaultIsTheEpoch) {
  const TimeClass time;
  EXPECT_EQ(makeTime(1900, 1, 1), time);
  EXPECT_EQ(0u, time.fraction);
  EXPECT_EQ(0u, time.dayNumber());
  EXPECT_EQ(1, time.weekday());  // Monday
}

TEST(TimeClass, SettersRejectOutOfRangeAndKeepTheTime) {
  struct Case {
    std::function<void(TimeClass&)> set;
    const char* text;
  };
  const std::vector<Case> cases = {
      {[](TimeClass& t) { t.setYear(1899); }, "TimeError: year out of range: 1899"},
      {[](TimeClass& t) { t.setMonth(0); }, "TimeError: month out of range: 0"},
      {[](TimeClass& t) { t.setMonth(13); }, "TimeError: month out of range: 13"},
      {[](TimeClass& t) { t.setDay(0); }, "TimeError: day out of range: 0"},
      {[](TimeClass& t) { t.setDay(31); }, "TimeError: day out of range: 31"},  // April
      {[](TimeClass& t) { t.setHour(25); }, "TimeError: hour out of range: 25"},
      {[](TimeClass& t) { t.setMinute(60); }, "TimeError: minute out of range: 60"},
      {[](TimeClass& t) { t.setSecond(60); }, "TimeError: second out of range: 60"},
      {[](TimeClass& t) { t.setMicrosecond(1000000); },
       "TimeError: microsecond out of range: 1000000"},
      {[](TimeClass& t) { t.setSecondsInDay(86400); },
       "TimeError: secondsInDay out of range: 86400"},
      {[](TimeClass& t) { t.setTimeOfDay(1, 60, 1); }, "TimeError: minute out of range: 60"},
      {[](TimeClass& t) { t.setTimeOfDay(1, 1, 60); }, "TimeError: second out of range: 60"},
      {[](TimeClass& t) { t.setTimeOfDay(25, 1, 1); }, "TimeError: hour out of range: 25"},
      {[](TimeClass& t) { t.setDayNumber(TimeClass::kLastDayNumber + 1); },
       "TimeError: year out of range: 65536"},
  };
  const TimeClass before = makeTime(2006, 4, 30, 13, 45, 50, 0x12345678);
  for (const Case& c : cases) {
    TimeClass time = before;
    EXPECT_EQ(c.text, errorText([&] { c.set(time); }));
    EXPECT_EQ(before, time) << c.text << " left " << describe(time);
  }
}

TEST(TimeClass, SettersAcceptTheirLimits) {
  TimeClass time;
  EXPECT_EQ("TimeError: day out of range: 29", errorText([&] {
              time.setMonth(2);
              time.setDay(29);
            }));
  time.setYear(2000);
  time.setDay(29);
  time.setYear(2400);
  time.setHour(24);
  time.setMinute(59);
  time.setSecond(59);
  time.setMicrosecond(999999);
  EXPECT_EQ(24, time.hour());
  EXPECT_EQ(999999u, time.microsecond());
  time.setSecondsInDay(86399);
  EXPECT_EQ(makeTime(2400, 2, 29, 23, 59, 59, time.fraction), time);
  EXPECT_EQ(86399u, time.secondsInDay());
}

TEST(TimeClass, EveryMicrosecondSurvivesTheFraction) {
  TimeClass time;
  for (uint32_t us = 0; us < 1000000; ++us) {
    time.setMicrosecond(us);
    ASSERT_EQ(us, time.microsecond());
  }
  // Rounded to nearest, halves up; the top of the second rounds to a whole one.
  time.fraction = 0xFFFFFFFF;
  EXPECT_EQ(1000000u, time.microsecond());
  EXPECT_EQ(1000u, time.millisecond());
  time.fraction = 0x80000000;
  EXPECT_EQ(500000u, time.microsecond());
  EXPECT_EQ(500u, time.millisecond());
  time.fraction = 2147483;  // 0.49999995 ms
  EXPECT_EQ(0u, time.millisecond());
  time.fraction = 2147484;
  EXPECT_EQ(1u, time.millisecond());
}

TEST(TimeClass, DayNumbersAndWeekdays) {
  const TimeClass sunday = makeTime(2006, 3, 5);
  EXPECT_EQ(38779u, sunday.dayNumber());
  EXPECT_EQ(0, sunday.weekday());
  EXPECT_EQ(64, sunday.dayOfYear());
  EXPECT_EQ(6, makeTime(2000, 1, 1).weekday());  // Saturday
}

TEST(TimeClass, EveryDayNumberOfTheFirstMillenniaRoundTrips) {
  TimeClass time;
  uint32_t year = 1900, month = 1, day = 1;
  for (uint32_t n = 0; n <= 551149; ++n) {
    time.setDayNumber(n);
    ASSERT_TRUE(time.year() == year && time.month() == month && time.day() == day)
        << n << " gives " << describe(time);
    ASSERT_EQ(n, time.dayNumber());
    if (++day > static_cast<uint32_t>(daysInMonth(static_cast<uint16_t>(year), month))) {
      day = 1;
      if (++month > 12) month = 1, ++year;
    }
  }
}

TEST(TimeClass, YearBoundariesUpToTheLastYearRoundTrip) {
  TimeClass time;
  for (uint32_t year = 1900; year <= 65535; ++year) {
    const auto y = static_cast<uint16_t>(year);
    const auto first = static_cast<uint32_t>(daysBeforeYear(y));
    const uint32_t last = first + (isLeapYear(y) ? 365 : 364);
    time.setDayNumber(first);
    ASSERT_EQ(makeTime(y, 1, 1), time) << describe(time);
    time.setDayNumber(last);
    ASSERT_EQ(makeTime(y, 12, 31), time) << describe(time);
  }
  EXPECT_EQ("TimeError: year out of range: 11761121",
            errorText([&] { time.setDayNumber(0xFFFFFFFF); }));
}

TEST(TimeClass, IsoWeeksMatchTheWeekdayRule) {
  EXPECT_EQ(53, makeTime(2005, 1, 1).isoWeek());
  EXPECT_EQ(1, makeTime(2008, 12, 29).isoWeek());
  // ISO 8601: week of the Thursday of the same Monday-based week.
  auto weeksIn = [](int year) {
    const int jan1 = makeTime(static_cast<uint16_t>(year), 1, 1).weekday();
    return jan1 == 4 || (jan1 == 3 && isLeapYear(static_cast<uint16_t>(year))) ? 53 : 52;
  };
  TimeClass time;
  for (uint32_t n = 0; n < 200 * 366; n += 1) {
    time.setDayNumber(n);
    const int isoDay = time.weekday() == 0 ? 7 : time.weekday();
    int week = (time.dayOfYear() - isoDay + 10) / 7;
    if (week < 1) {
      week = weeksIn(time.year() - 1);
    } else if (week > weeksIn(time.year())) {
      week = 1;
    }
    ASSERT_EQ(week, time.isoWeek()) << describe(time);
  }
}

TEST(TimeClass, JulianDates) {
  EXPECT_EQ(51545, makeTime(2000, 1, 1).julianDayNumberOffset());
  EXPECT_EQ(15021, makeTime(1900, 1, 1).julianDayNumberOffset());
  EXPECT_DOUBLE_EQ(2451545.0, makeTime(2000, 1, 1, 12).julianDate());
  EXPECT_DOUBLE_EQ(2451544.5, makeTime(2000, 1, 1).julianDate());
  EXPECT_DOUBLE_EQ(2451545.25, makeTime(2000, 1, 1, 18).julianDate());
  EXPECT_DOUBLE_EQ(2451544.5 + 0.5 / 86400, makeTime(2000, 1, 1, 0, 0, 0, 0x80000000).julianDate());
}

TEST(TimeClass, OrderIsFieldByFieldWithTheFractionUnsigned) {
  const TimeClass base = makeTime(2006, 3, 5, 9, 7, 9, 1);
  const std::vector<TimeClass> later = {makeTime(2007, 1, 1),
                                        makeTime(2006, 4, 1),
                                        makeTime(2006, 3, 6),
                                        makeTime(2006, 3, 5, 10),
                                        makeTime(2006, 3, 5, 9, 8),
                                        makeTime(2006, 3, 5, 9, 7, 10),
                                        makeTime(2006, 3, 5, 9, 7, 9, 0x80000000)};
  for (const TimeClass& other : later) {
    EXPECT_TRUE(base < other) << describe(other);
    EXPECT_FALSE(other < base) << describe(other);
  }
  EXPECT_FALSE(base < base);
}

TEST(TimeClassLog, WritesDateTimeAndSixDigits) {
  EXPECT_EQ("2006-3-5 9:07:09.250000", logText(makeTime(2006, 3, 5, 9, 7, 9, 0x40000000)));
  EXPECT_EQ("1900-1-1 0:00:00.000000", logText(TimeClass()));
  EXPECT_EQ("2036-12-31 23:59:59.500000", logText(makeTime(2036, 12, 31, 23, 59, 59, 0x80000000)));
  TimeClass time = makeTime(2006, 3, 5, 9, 7, 9);
  time.setMicrosecond(123457);  // stored just below, rounded back up
  EXPECT_EQ("2006-3-5 9:07:09.123457", logText(time));
}

TEST(TimeClassLog, RoundingCarriesLeftButNeverIntoTheSeconds) {
  TimeClass time = makeTime(2006, 3, 5, 9, 7, 9);
  time.fraction = 429496515;  // 0.09999995.. s: carries through five digits
  EXPECT_EQ("2006-3-5 9:07:09.100000", logText(time));
  time.fraction = 0xFFFFFFFF;  // would carry out of the sixth digit
  EXPECT_EQ("2006-3-5 9:07:09.999999", logText(time));
}

}  // namespace
}  // namespace veltraw
