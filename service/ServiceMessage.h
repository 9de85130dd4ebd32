// The messages between the tray and the clock service: one request, one
// answer, each of a fixed size in little-endian order, with a magic number
// and a version so that either side can tell a stranger or a newer peer.
//
// Request (kRequestSize bytes):
//   0  "VCLK"   4  version   6  kind 1
//   8  tray offset (ms, int32)   12 round-trip limit (ms, int32, 0: default)
//   16 step threshold (ms, int32, 0: default)   20 reserved, zero
//   24 server name, NUL-padded to 256 bytes
// Answer (kAnswerSize bytes):
//   0  "VCLK"   4  version   6  kind 2
//   8  outcome (int32)   12 series status (int32)
//   16 offset (us, int64)   24 round trip (us, int64)
//   32 text, NUL-padded to 256 bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "service/ClockServiceClient.h"

namespace veltraw {

// The service as the service control manager knows it, and its pipe.
constexpr char kClockServiceName[] = "VeltrawClock";
constexpr char kClockServicePipe[] = "\\\\.\\pipe\\VeltrawClock";

constexpr uint16_t kServiceMessageVersion = 1;
constexpr size_t kServiceTextSize = 256;  // server name and answer text, NUL included
constexpr size_t kRequestSize = 24 + kServiceTextSize;
constexpr size_t kAnswerSize = 32 + kServiceTextSize;
// The round-trip limit and step threshold a request may name, in ms.
constexpr int32_t kMaxRequestThresholdMs = 3600 * 1000;

enum class MessageFault {
  None,
  Size,     // not exactly one message
  Magic,    // not ours
  Version,  // ours, of another version
  Kind,     // not the message expected here
  Field,    // a field out of its range, or bytes that must be zero are not
};

// Why a message was not read, for the log.
const char* MessageFaultText(MessageFault fault);

void WriteRequest(const ClockServiceRequest& request, uint8_t (&message)[kRequestSize]);
// Fills request only when the whole message is sound: a server name of
// letters, digits and ".-:[]%_" (1 to 253 of them), thresholds from 0 to
// kMaxRequestThresholdMs.
MessageFault ReadRequest(const uint8_t* data, size_t size, ClockServiceRequest& request);

// The text is cut to fit and its control characters become blanks.
void WriteAnswer(const ClockServiceAnswer& answer, uint8_t (&message)[kAnswerSize]);
// Fills answer only when the whole message is sound; its outcome is never
// Absent (that is the client's own finding).
MessageFault ReadAnswer(const uint8_t* data, size_t size, ClockServiceAnswer& answer);

}  // namespace veltraw
