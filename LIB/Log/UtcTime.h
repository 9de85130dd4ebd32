// UTC broken-down time of a count of seconds since 1970, for the headers of
// the log and the data file. The C library's gmtime is not safe to call from
// several threads at once on every platform.
#pragma once

#include <cstdint>
#include <ctime>

namespace veltraw {

struct UtcTime {
  int64_t year;
  int month;  // 1..12
  int day;    // 1..31
  int hour, minute, second;
  int weekday;  // 0 Sunday .. 6 Saturday
};

UtcTime utcFromUnix(std::time_t time);

}  // namespace veltraw
