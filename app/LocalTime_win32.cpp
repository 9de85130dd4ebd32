#include <windows.h>

#include <cstdio>

#include "app/LocalTime.h"

namespace veltraw {

std::string localClockText(const TimeClass& utc) {
  SYSTEMTIME universal = {};
  universal.wYear = utc.year();
  universal.wMonth = utc.month();
  universal.wDay = utc.day();
  universal.wHour = utc.hour();
  universal.wMinute = utc.minute();
  universal.wSecond = utc.second();
  SYSTEMTIME local = {};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) return std::string();
  char text[8];
  std::snprintf(text, sizeof text, "%02u:%02u", static_cast<unsigned>(local.wHour),
                static_cast<unsigned>(local.wMinute));
  return text;
}

}  // namespace veltraw
