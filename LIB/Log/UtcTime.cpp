#include "LIB/Log/UtcTime.h"

namespace veltraw {

UtcTime utcFromUnix(std::time_t time) {
  const auto seconds = static_cast<int64_t>(time);
  int64_t days = seconds / 86400;
  int64_t inDay = seconds % 86400;
  if (inDay < 0) {
    inDay += 86400;
    --days;
  }
  const int64_t weekday = ((days % 7) + 11) % 7;  // 1970-01-01 was a Thursday
  // Days to civil date in the proleptic Gregorian calendar (eras of 400 years).
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  return UtcTime{yearOfEra + era * 400 + (month <= 2 ? 1 : 0),
                 static_cast<int>(month),
                 static_cast<int>(day),
                 static_cast<int>(inDay / 3600),
                 static_cast<int>(inDay / 60 % 60),
                 static_cast<int>(inDay % 60),
                 static_cast<int>(weekday)};
}

}  // namespace veltraw
