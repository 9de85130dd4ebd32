// The outcome of one request series.
#pragma once

#include <cstdint>
#include <string>

#include "LIB/Time/NtpTimestamp.h"
#include "sntp/NtpPacket.h"

namespace veltraw {

enum NtpStatus : int32_t { Ok = 0, NoResponse = 1, BadReference = 2, Failed = 3, Requesting = 4 };

struct NtpResult {
  std::string host;  // as given to the request
  int32_t tag = 0;   // the caller's number for the server (its index)
  NtpStatus status = Failed;
  int32_t offsetMs = 0;     // average; positive when the server is ahead of the PC
  int32_t roundTripMs = 0;  // average
  int32_t goodReplies = 0;  // the replies behind the averages; 0: nothing was measured
  bool hasPacket = false;   // Ok and BadReference carry the last reply
  NtpPacket packet;         // the last reply, when hasPacket
  NtpTimestamp arrival;     // its T4
};

}  // namespace veltraw
