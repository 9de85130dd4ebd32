// The clock service's one operation: measure a server with the program's own
// request series and reply evaluation, and step the clock with the precise
// step when the measurement calls for it. The time set comes only from the
// service's own measurement; a client names a server, never a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "LIB/Time/PrecisionClock.h"
#include "service/ClockServiceRules.h"
#include "service/ServiceMessage.h"
#include "sntp/NtpResult.h"

namespace veltraw {

// The requests of one measurement and how long each waits for its reply.
constexpr int32_t kServiceRequestCount = 4;
constexpr int32_t kServiceReplyTimeoutMs = 1000;
// How long a whole measurement may take, name resolution apart.
constexpr int32_t kServiceSeriesLimitMs = kServiceRequestCount * kServiceReplyTimeoutMs + 1000;
// Per minute: requests served (each a name lookup and a few datagrams to the
// server) and steps.
constexpr size_t kServiceRequestsPerMinute = 20;
constexpr size_t kServiceStepsPerMinute = 3;

struct ServiceSeams {
  ServerEnvironment* servers = nullptr;
  Clock* clock = nullptr;  // read for the precise step
  // Sets the system clock; false with the system's error text when refused.
  std::function<bool(const TimeClass& time, std::string& errorText)> setClock;
  // One request series to host; returns within kServiceSeriesLimitMs.
  std::function<NtpResult(const std::string& host)> measure;
  std::function<int64_t()> steadyMs;  // a monotonic clock, milliseconds
};

class ClockRequestHandler {
 public:
  explicit ClockRequestHandler(ServiceSeams seams);

  // Serves one sound request; every decision is logged.
  ClockServiceAnswer Serve(const ClockServiceRequest& request);

  // One message as read from a client: its answer, a refusal for a message
  // that is not a sound request.
  void Answer(const uint8_t* message, size_t size, uint8_t (&answer)[kAnswerSize]);

 private:
  ClockServiceAnswer refuse(const std::string& why);

  ServiceSeams m_seams;
  RateLimit m_requests{kServiceRequestsPerMinute, 60000};
  RateLimit m_steps{kServiceStepsPerMinute, 60000};
};

// The real measurement: a request series of kServiceRequestCount requests,
// waited for at most kServiceSeriesLimitMs; NoResponse when it takes longer.
NtpResult MeasureServer(const std::string& host);

}  // namespace veltraw
