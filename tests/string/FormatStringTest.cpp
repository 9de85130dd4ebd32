#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>

#include "LIB/String/FormatString.h"
#include "LIB/Time/NtpTimestamp.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

TimeClass makeTime(uint16_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute,
                   uint8_t second, uint32_t fraction = 0) {
  TimeClass time;
  time.setYear(year);
  time.setMonth(month);
  time.setDay(day);
  time.setTimeOfDay(hour, minute, second);
  time.fraction = fraction;
  return time;
}

// 2006-03-05 14:07:09.1234567, a Sunday.
const TimeClass kSunday = makeTime(2006, 3, 5, 14, 7, 9, 530242489);

std::string formatted(const TimeClass& utc, const std::string& pattern, int32_t zone = 0,
                      bool daylight = false) {
  FormatString text;
  text.setZone(zone, daylight);
  text.setUtcTime(utc);
  return text.format(pattern);
}

TEST(FormatString, FieldsAndLiterals) {
  const struct {
    const char* pattern;
    const char* expected;
  } cases[] = {
      {"[ZZDDD, MMM D,YYYY HH:mm:ss.SSSS] UTC", "Sun, Mar 5,2006 14:07:09.1234 UTC"},
      {"Date [D]", "Date 5"},
      {"[YY YYYY|M MM MMM MMMM|D DD DDD DDDD]", "06 2006|3 03 Mar March|5 05 Sun Sunday"},
      {"[H HH h hh a aa A AA|m mm s ss]", "14 14 2 02 p pm P PM|7 07 9 09"},
      {"[S SS SSS SSSS|W WW|JJJ JJJJ]", "1 12 123 1234|64 09|53800 2.4538e+06"},
      // Runs that name no field, and letters of no field, are copied.
      {"[YYY x Q G L N SSSSS aaa JJJJJ ZZZZZ]", "YYY x Q G L N SSSSS aaa JJJJJ ZZZZZ"},
      {"[H\xC3\xA9-]", "14\xC3\xA9-"},
      // Escapes in and out of brackets; a lone backslash at the end ends the text.
      {"\\[D] [\\D\\]] a\\nb\\rc \\\\", "[D] D] a\nb\rc \\"},
      {"]x[HH", "]x14"},
      {"left\\", "left"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, formatted(kSunday, c.pattern)) << c.pattern;
  EXPECT_EQ("Wed Wednesday Dec December 366 01 08",
            formatted(makeTime(2008, 12, 31, 0, 0, 0), "[DDD DDDD MMM MMMM W WW YY]"));
}

TEST(FormatString, HoursOfTheTwelveHourClock) {
  const struct {
    uint8_t hour;
    const char* expected;
  } cases[] = {{0, "12 am A"},  {1, "01 am A"},  {11, "11 am A"},
               {12, "12 pm P"}, {13, "01 pm P"}, {23, "11 pm P"}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, formatted(makeTime(2006, 3, 5, c.hour, 0, 0), "[hh aa A]")) << +c.hour;
  }
}

// The sub-second fields round but never reach a whole second, which the
// seconds beside them would have to show.
TEST(FormatString, SubSecondFieldsStayWithinTheirSecond) {
  const std::string pattern = "[ss.S ss.SS ss.SSS ss.SSSS]";
  const uint32_t almostTenSeconds = 4293249309u;  // 0.9996 s
  EXPECT_EQ("09.9 09.99 09.999 09.9996",
            formatted(makeTime(2006, 3, 5, 14, 7, 9, almostTenSeconds), pattern));
  // Unshifted (zone out of range), the last 2^-32 s before the next second.
  EXPECT_EQ("09.9 09.99 09.999 09.9999",
            formatted(makeTime(2006, 3, 5, 14, 7, 9, 0xFFFFFFFF), pattern, 2000));
  // Shifted to local time, the fraction is rounded to the microsecond first,
  // and so carries.
  EXPECT_EQ("10.0 10.00 10.000 10.0000",
            formatted(makeTime(2006, 3, 5, 14, 7, 9, 0xFFFFFFFF), pattern, 0));
}

TEST(FormatString, ZoneNamesAndOffsets) {
  const struct {
    int32_t minutes;
    bool daylight;
    const char* expected;
  } cases[] = {
      {60, true, "CEST +0100"},   {60, false, "CET +0100"},        {-120, false, "0AZ -0200"},
      {0, false, "GMT +0000"},    {-300, true, "EDT -0500"},       {330, false, "+5  +0530"},
      {-330, false, "EST -0530"}, {-30, false, "GMT -0030"},       {1440, false, "GMT +2400"},
      {-1440, true, "BST -2400"}, {-1439, false, "CET -2359"},     {1441, false, "??? +????"},
      {-1441, true, "??? +????"}, {INT32_MIN, false, "??? +????"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, formatted(kSunday, "[ZZZ ZZZZ]", c.minutes, c.daylight)) << c.minutes;
  }
}

TEST(FormatString, LocalAndUniversalTime) {
  const TimeClass lateEvening = makeTime(2006, 3, 5, 23, 30, 0, 0x80000000);
  EXPECT_EQ("2006-03-06 00:30:00.500 / 23:30 / 00:30",
            formatted(lateEvening, "[YYYY-MM-DD HH:mm:ss.SSS / ZZHH:mm / ZHH:mm]", 60));
  EXPECT_EQ("2006-03-05 00:30",
            formatted(makeTime(2006, 3, 5, 1, 30, 0), "[YYYY-MM-DD HH:mm]", -60));
  // Out of range, or beyond the calendar's last or first day: unshifted.
  EXPECT_EQ("23:30", formatted(lateEvening, "[HH:mm]", 1441));
  EXPECT_EQ("65535-12-31 23:30",
            formatted(makeTime(65535, 12, 31, 23, 30, 0), "[YYYY-MM-DD HH:mm]", 60));
  EXPECT_EQ("1900-01-01 00:10",
            formatted(makeTime(1900, 1, 1, 0, 10, 0), "[YYYY-MM-DD HH:mm]", -60));
}

// J and JJ show the UTC time's NTP timestamp and leave every later number of
// the pattern hexadecimal.
TEST(FormatString, NtpTimestampFieldsSwitchToHexadecimal) {
  const TimeClass utc = NtpTimestamp::Make(0xC76B0235, 0x80000000).ToCalendar();
  EXPECT_EQ("c76b0235.80000000 07d6-01-08 04", formatted(utc, "[JJ.J YYYY-MM-DD HH]", 60));
  EXPECT_EQ("2006 c76b0235 07d6", formatted(utc, "[YYYY JJ YYYY]", 60));
}

TEST(FormatString, FieldsWithoutDataAreCopied) {
  FormatString text;
  EXPECT_EQ("HH:mm YYYY J JJ ZZZ ZZZZ", text.format("[HH:mm YYYY J JJ ZZZ ZZZZ][Z]"));
  text.setZone(60, true);
  EXPECT_EQ("HH:mm CEST", text.format("[HH:mm ZZZ]"));
}

std::string assertionFrom(const std::function<void()>& work) {
  test::CaptureSink sink;
  try {
    work();
  } catch (const char* text) {
    EXPECT_STREQ("Assertion failure", text);
    return sink.all();
  }
  return "no assertion";
}

TEST(FormatString, MissingZoneIsABrokenRule) {
  EXPECT_NE(std::string::npos,
            assertionFrom([] {
              FormatString().setUtcTime(kSunday);
            }).find("Assertion failed: IsValid(Field_Zone) in LIB/String/FormatString:51"));
  EXPECT_NE(std::string::npos,
            assertionFrom([] {
              FormatString().format("[YYYY ZZ]");
            }).find("Assertion failed: IsValid(Field_Zone) in LIB/String/FormatString:64"));
}

}  // namespace
}  // namespace veltraw
