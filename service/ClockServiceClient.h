// The tray's side of the clock service: asks the service, which holds the
// right to set the clock, to correct it from a server. The service measures
// the server itself and applies its own rules; the tray never sends a time.
#pragma once

#include <cstdint>
#include <string>

namespace veltraw {

struct ClockServiceRequest {
  std::string server;           // name or address, as the tray's settings hold it
  int32_t trayOffsetMs = 0;     // the tray's own measurement, for the service's log
  int32_t maxRoundTripMs = 0;   // reject replies with a longer round trip (may only tighten)
  int32_t stepThresholdMs = 0;  // step only beyond this offset (may only tighten)
};

enum class ClockServiceOutcome : int32_t {
  Absent,      // no service runs, or the pipe's server is not the service
  Stepped,     // the service measured the server and stepped the clock
  NotStepped,  // the service measured no need to step, or got no usable reply
  Refused,     // the service would not serve this request (server not allowed, limits)
  Failed,      // the service tried to step and the system refused
};

struct ClockServiceAnswer {
  ClockServiceOutcome outcome = ClockServiceOutcome::Absent;
  int32_t status = 0;    // the service's series result (NtpStatus values)
  int64_t offsetUs = 0;  // the service's own measurement; positive: server ahead
  int64_t roundTripUs = 0;
  std::string text;  // why it refused or failed (the system's error text)
};

// Asks the running clock service and waits for its answer (bounded). Blocks:
// call it outside any lock the user interface needs.
ClockServiceAnswer AskClockService(const ClockServiceRequest& request);

}  // namespace veltraw
