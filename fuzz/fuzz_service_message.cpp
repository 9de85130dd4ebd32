// Reads any bytes as a request to the clock service and as its answer. A
// message either is refused or has exactly one reading: written again, it is
// the same bytes. A request read has a server name of host-name characters and
// thresholds in range; an answer read has an outcome the service gives, the
// status of a finished series and no control character in its text.
//
// Input: the message as it came off the pipe.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/FuzzInput.h"
#include "service/ServiceMessage.h"
#include "sntp/NtpResult.h"

using namespace veltraw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ClockServiceRequest request;
  if (ReadRequest(data, size, request) == MessageFault::None) {
    FUZZ_CHECK(size == kRequestSize);
    FUZZ_CHECK(!request.server.empty() && request.server.size() <= 253);
    FUZZ_CHECK(request.server.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                                "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                "0123456789.-:[]%_") == std::string::npos);
    FUZZ_CHECK(request.maxRoundTripMs >= 0 && request.maxRoundTripMs <= kMaxRequestThresholdMs);
    FUZZ_CHECK(request.stepThresholdMs >= 0 && request.stepThresholdMs <= kMaxRequestThresholdMs);
    uint8_t again[kRequestSize];
    WriteRequest(request, again);
    FUZZ_CHECK(std::memcmp(again, data, size) == 0);
  } else {
    FUZZ_CHECK(request.server.empty());
  }

  ClockServiceAnswer answer;
  if (ReadAnswer(data, size, answer) == MessageFault::None) {
    FUZZ_CHECK(answer.outcome >= ClockServiceOutcome::Stepped &&
               answer.outcome <= ClockServiceOutcome::Failed);
    FUZZ_CHECK(answer.status >= Ok && answer.status <= Failed);  // a series' end, not under way
    for (char c : answer.text) FUZZ_CHECK(static_cast<uint8_t>(c) >= 0x20 && c != 0x7f);
    uint8_t again[kAnswerSize];
    WriteAnswer(answer, again);
    FUZZ_CHECK(size == kAnswerSize && std::memcmp(again, data, size) == 0);
  }
  return 0;
}
