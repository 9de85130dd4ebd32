#include "service/ServiceMessage.h"

#include <cstring>

#include "sntp/NtpResult.h"

namespace veltraw {

namespace {

constexpr uint8_t kMagic[4] = {'V', 'C', 'L', 'K'};
constexpr uint16_t kRequestKind = 1;
constexpr uint16_t kAnswerKind = 2;
constexpr size_t kTextOffsetInRequest = 24;
constexpr size_t kTextOffsetInAnswer = 32;
constexpr size_t kMaxServerLength = 253;  // the longest host name there is

void put(uint8_t* at, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint64_t get(const uint8_t* at, size_t bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value |= uint64_t{at[i]} << (8 * i);
  return value;
}
int32_t get32(const uint8_t* at) { return static_cast<int32_t>(get(at, 4)); }

void putHeader(uint8_t* message, uint16_t kind) {
  std::memcpy(message, kMagic, 4);
  put(message + 4, kServiceMessageVersion, 2);
  put(message + 6, kind, 2);
}

MessageFault checkHeader(const uint8_t* data, size_t size, size_t expectedSize, uint16_t kind) {
  // The header first: a peer of another version may send another size.
  if (size < 8 || std::memcmp(data, kMagic, 4) != 0) return MessageFault::Magic;
  if (get(data + 4, 2) != kServiceMessageVersion) return MessageFault::Version;
  if (size != expectedSize) return MessageFault::Size;
  if (get(data + 6, 2) != kind) return MessageFault::Kind;
  return MessageFault::None;
}

// A NUL-terminated text in a fixed field whose remaining bytes are zero, so
// that a message has exactly one reading.
bool readText(const uint8_t* field, std::string& text) {
  const void* end = std::memchr(field, 0, kServiceTextSize);
  if (end == nullptr) return false;
  const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - field);
  for (size_t i = length; i < kServiceTextSize; ++i) {
    if (field[i] != 0) return false;
  }
  text.assign(reinterpret_cast<const char*>(field), length);
  return true;
}

void writeText(const std::string& text, uint8_t* field) {
  std::memset(field, 0, kServiceTextSize);
  const size_t length = text.size() < kServiceTextSize ? text.size() : kServiceTextSize - 1;
  for (size_t i = 0; i < length; ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    field[i] = c < 0x20 || c == 0x7f ? ' ' : c;
  }
}

bool isServerCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr(".-:[]%_", c) != nullptr;
}

bool isThreshold(int32_t ms) { return ms >= 0 && ms <= kMaxRequestThresholdMs; }

}  // namespace

const char* MessageFaultText(MessageFault fault) {
  switch (fault) {
    case MessageFault::None:
      return "sound";
    case MessageFault::Size:
      return "wrong size";
    case MessageFault::Magic:
      return "not a clock service message";
    case MessageFault::Version:
      return "unsupported version";
    case MessageFault::Kind:
      return "unexpected kind";
    case MessageFault::Field:
      return "field out of range";
  }
  return "unknown fault";
}

void WriteRequest(const ClockServiceRequest& request, uint8_t (&message)[kRequestSize]) {
  std::memset(message, 0, sizeof message);
  putHeader(message, kRequestKind);
  put(message + 8, static_cast<uint32_t>(request.trayOffsetMs), 4);
  put(message + 12, static_cast<uint32_t>(request.maxRoundTripMs), 4);
  put(message + 16, static_cast<uint32_t>(request.stepThresholdMs), 4);
  writeText(request.server, message + kTextOffsetInRequest);
}

MessageFault ReadRequest(const uint8_t* data, size_t size, ClockServiceRequest& request) {
  const MessageFault fault = checkHeader(data, size, kRequestSize, kRequestKind);
  if (fault != MessageFault::None) return fault;
  ClockServiceRequest read;
  read.trayOffsetMs = get32(data + 8);
  read.maxRoundTripMs = get32(data + 12);
  read.stepThresholdMs = get32(data + 16);
  if (get(data + 20, 4) != 0 || !isThreshold(read.maxRoundTripMs) ||
      !isThreshold(read.stepThresholdMs) || !readText(data + kTextOffsetInRequest, read.server) ||
      read.server.empty() || read.server.size() > kMaxServerLength) {
    return MessageFault::Field;
  }
  for (char c : read.server) {
    if (!isServerCharacter(c)) return MessageFault::Field;
  }
  request = read;
  return MessageFault::None;
}

void WriteAnswer(const ClockServiceAnswer& answer, uint8_t (&message)[kAnswerSize]) {
  std::memset(message, 0, sizeof message);
  putHeader(message, kAnswerKind);
  put(message + 8, static_cast<uint32_t>(answer.outcome), 4);
  put(message + 12, static_cast<uint32_t>(answer.status), 4);
  put(message + 16, static_cast<uint64_t>(answer.offsetUs), 8);
  put(message + 24, static_cast<uint64_t>(answer.roundTripUs), 8);
  writeText(answer.text, message + kTextOffsetInAnswer);
}

MessageFault ReadAnswer(const uint8_t* data, size_t size, ClockServiceAnswer& answer) {
  const MessageFault fault = checkHeader(data, size, kAnswerSize, kAnswerKind);
  if (fault != MessageFault::None) return fault;
  ClockServiceAnswer read;
  const int32_t outcome = get32(data + 8);
  read.status = get32(data + 12);
  read.offsetUs = static_cast<int64_t>(get(data + 16, 8));
  read.roundTripUs = static_cast<int64_t>(get(data + 24, 8));
  if (outcome < static_cast<int32_t>(ClockServiceOutcome::Stepped) ||
      outcome > static_cast<int32_t>(ClockServiceOutcome::Failed) || read.status < Ok ||
      read.status > Failed || !readText(data + kTextOffsetInAnswer, read.text)) {
    return MessageFault::Field;
  }
  for (char c : read.text) {
    if (static_cast<uint8_t>(c) < 0x20 || c == 0x7f) return MessageFault::Field;
  }
  read.outcome = static_cast<ClockServiceOutcome>(outcome);
  answer = read;
  return MessageFault::None;
}

}  // namespace veltraw
