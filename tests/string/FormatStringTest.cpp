#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "LIB/String/FormatString.h"
#include "LIB/Time/NtpTimestamp.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

// 2006-03-05, a Sunday, at the given time.
TimeClass sundayAt(uint8_t hour, uint8_t minute = 7, uint8_t second = 9, uint32_t fraction = 0) {
  TimeClass time = NtpTimestamp::Make(3350505600u, 0).ToCalendar();
  time.setTimeOfDay(hour, minute, second);
  time.fraction = fraction;
  return time;
}

std::string formatted(const TimeClass& utc, const char* pattern, int32_t zone = 0,
                      bool dst = false) {
  FormatString text;
  text.setZone(zone, dst);
  text.setUtcTime(utc);
  return text.format(pattern);
}

TEST(FormatString, FieldsAndLiterals) {
  const TimeClass sunday = sundayAt(14, 7, 9, 530242489);  // 14:07:09.1234567
  const std::pair<const char*, const char*> cases[] = {
      {"[ZZDDD, MMM D,YYYY HH:mm:ss.SSSS] UTC", "Sun, Mar 5,2006 14:07:09.1234 UTC"},
      {"[YY YYYY|M MM MMM MMMM|D DD DDD DDDD]", "06 2006|3 03 Mar March|5 05 Sun Sunday"},
      {"[H HH h hh a aa A AA|m mm s ss]", "14 14 2 02 p pm P PM|7 07 9 09"},
      {"[S SS SSS SSSS|W WW|JJJ JJJJ]", "1 12 123 1234|64 09|53800 2.4538e+06"},
      // Runs that name no field, letters of no field and other bytes are copied.
      {"[YYY x Q SSSSS aaa JJJJJ ZZZZZ \xC3\xA9-]", "YYY x Q SSSSS aaa JJJJJ ZZZZZ \xC3\xA9-"},
      {"\\[D] [\\D\\]] a\\nb\\rc \\\\ ]x[HH", "[D] D] a\nb\rc \\ ]x14"},
      {"left\\", "left"},
  };
  for (const auto& [pattern, expected] : cases) {
    EXPECT_EQ(expected, formatted(sunday, pattern)) << pattern;
  }
  const TimeClass newYearsEve = NtpTimestamp::Make(3439670400u, 0).ToCalendar();  // 2008-12-31
  EXPECT_EQ("Wed Wednesday Dec December 366 01 08 12 am A",
            formatted(newYearsEve, "[DDD DDDD MMM MMMM W WW YY hh aa A]"));
  // J and JJ: the UTC time's NTP timestamp; later numbers are hexadecimal.
  const TimeClass ntp = NtpTimestamp::Make(0xC76B0235, 0x80000000).ToCalendar();
  EXPECT_EQ("c76b0235.80000000 07d6-01-08 04 c76b0235 07d6",
            formatted(ntp, "[JJ.J YYYY-MM-DD HH JJ YYYY]", 60));
}

TEST(FormatString, SubSecondsAndLocalTime) {
  // Sub-second fields never round to a whole second; a shifted time is
  // rounded to the microsecond first, and so may carry.
  const char* subSeconds = "[ss.S ss.SS ss.SSS ss.SSSS]";
  EXPECT_EQ("09.9 09.99 09.999 09.9996", formatted(sundayAt(14, 7, 9, 4293249309u), subSeconds));
  EXPECT_EQ("09.9 09.99 09.999 09.9999", formatted(sundayAt(14, 7, 9, ~0u), subSeconds, 1441));
  EXPECT_EQ("10.0000", formatted(sundayAt(14, 7, 9, ~0u), "[ss.SSSS]"));
  EXPECT_EQ(
      "2006-03-06 00:30:00.500 / 23:30 / 00:30",
      formatted(sundayAt(23, 30, 0, 1u << 31), "[YYYY-MM-DD HH:mm:ss.SSS / ZZHH:mm / ZHH:mm]", 60));
  // Before the calendar's first day, or a zone beyond a day: unshifted.
  EXPECT_EQ("1900-01-01 00:00", formatted(TimeClass(), "[YYYY-MM-DD HH:mm]", -60));
  const std::pair<int32_t, bool> zones[] = {
      {0, false},   {60, true},    {-120, false}, {-180, false}, {-330, false},
      {-30, false}, {1440, false}, {-1440, true}, {-1441, true}, {INT32_MIN, false}};
  std::string shown;
  for (const auto& [minutes, dst] : zones)
    shown += formatted(sundayAt(14), "[hh:mm aa ZZZ ZZZZ]|", minutes, dst);
  EXPECT_EQ(
      "02:07 pm GMT +0000|03:07 pm CEST +0100|12:07 pm 0AZ -0200|11:07 am 0-3 -0300|"
      "08:37 am EST -0530|01:37 pm GMT -0030|02:07 pm GMT +2400|02:07 pm BST -2400|"
      "02:07 pm ??? +????|02:07 pm ??? +????|",
      shown);
}

TEST(FormatString, FieldsWithoutTheirDataAreCopiedOrBrokenRules) {
  FormatString text;
  EXPECT_EQ("HH:mm YYYY J JJ ZZZ ZZZZ", text.format("[HH:mm YYYY J JJ ZZZ ZZZZ][Z]"));
  test::CaptureSink sink;
  EXPECT_THROW(text.format("[ZZ]"), const char*);
  EXPECT_THROW(text.setUtcTime(sundayAt(14)), const char*);
  const std::string log = sink.all();
  EXPECT_NE(std::string::npos, log.find("IsValid(Field_Zone) in LIB/String/FormatString:64"));
  EXPECT_NE(std::string::npos, log.find("IsValid(Field_Zone) in LIB/String/FormatString:51"));
  text.setZone(60, true);
  EXPECT_EQ("HH:mm CEST", text.format("[HH:mm ZZZ]"));
}

}  // namespace
}  // namespace veltraw
