#include <cstdio>
#include <ctime>

#include "app/LocalTime.h"

namespace veltraw {

std::string localClockText(const TimeClass& utc) {
  std::tm fields{};
  fields.tm_year = utc.year() - 1900;
  fields.tm_mon = utc.month() - 1;
  fields.tm_mday = utc.day();
  fields.tm_hour = utc.hour();
  fields.tm_min = utc.minute();
  fields.tm_sec = utc.second();
  const std::time_t when = timegm(&fields);
  std::tm local{};
  if (when == static_cast<std::time_t>(-1) || !localtime_r(&when, &local)) return std::string();
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", local.tm_hour, local.tm_min);
  return text;
}

}  // namespace veltraw
