// The PC's local time, for what the user reads (the tooltip's time of the last
// good update). Everything else in the program is UTC.
#pragma once

#include <string>

#include "LIB/Time/TimeClass.h"

namespace veltraw {

// "14:07": the local hours and minutes of a UTC time, in the zone and daylight
// saving rule of the PC (platform file); "" when the system cannot convert it.
std::string localClockText(const TimeClass& utc);
using LocalClockText = std::string (*)(const TimeClass& utc);

}  // namespace veltraw
