// One request series: a thread of its own sends one or more SNTP requests to a
// server, evaluates the replies and hands one NtpResult to the starter's
// callback. Every time query of the program goes through StartRequestThread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "sntp/NtpResult.h"

namespace veltraw {

// Runs on the request thread, exactly once per started series, while the
// thread holds no lock. result.packet is valid only during the call.
// context: the starter's own value, passed through.
using RequestCallback = void (*)(void* context, const NtpResult& result);

// The thread's argument record; made by StartRequestThread, owned and
// released by the request thread.
struct RequestArgs {
  void* context = nullptr;
  // Name, dotted IPv4 address or IPv6 address (brackets allowed); "224."
  // selects a multicast group.
  std::string host;
  RequestCallback callback = nullptr;
  int32_t tag = 0;
  int32_t timeoutMs = 0;     // how long each request waits for its reply
  int32_t requestCount = 0;  // 0: automatic mode
  // At least this long between the sends of two requests (ms); the program's
  // own series send the next request at once.
  int32_t minimumSpacingMs = 0;
};

// Limits of the automatic mode, shared by every series of the process and
// written whole. A series stops once the average round trip of its good
// replies is at or below the threshold (milliseconds), and sends at most
// AutoMaxRequests requests.
extern std::atomic<int32_t> AutoRoundTripThreshold;
extern std::atomic<int32_t> AutoMaxRequests;

void SetAutoRequestLimits(int32_t roundTripThresholdMs, int32_t maxRequests);

// Starts a series at time-critical priority and returns at once. False (and
// logged) when no thread could be started; the callback is then never called.
bool StartRequestThread(void* context, const std::string& host, RequestCallback callback,
                        int32_t tag, int32_t timeoutMs, int32_t requestCount);

// The same for a series described whole (with a spacing between requests).
bool StartRequestSeries(const RequestArgs& args);

// How long a request waits for a reply from the server's address index
// (0-based) of count, spentMs into its timeout: an equal part of what is left,
// the last address all of it, at least 1 ms. A refused or failed address thus
// hands its share on. 0 (no timeout) for every address when timeoutMs is 0.
int32_t AddressWaitMs(int32_t timeoutMs, int32_t spentMs, size_t index, size_t count);

// The thread procedure; argument is a RequestArgs made with new, which it
// releases.
void RequestThreadProcedure(void* argument);

}  // namespace veltraw
