// The 48-byte SNTP message, kept as raw bytes in wire order and read through
// accessors; multi-byte fields are big-endian.
#pragma once

#include <cstdint>

#include "LIB/Time/NtpTimestamp.h"

namespace veltraw {

struct NtpPacket {
  static constexpr int kSize = 48;
  static constexpr int kReferenceTimestampOffset = 16;
  static constexpr int kOriginateTimestampOffset = 24;
  static constexpr int kReceiveTimestampOffset = 32;
  static constexpr int kTransmitTimestampOffset = 40;

  uint8_t bytes[kSize] = {};

  uint8_t leapIndicator() const { return bytes[0] >> 6; }  // 3: server not synchronised
  uint8_t versionNumber() const { return (bytes[0] >> 3) & 7; }
  uint8_t mode() const { return bytes[0] & 7; }  // 3 client, 4 server, 5 broadcast
  uint8_t stratum() const { return bytes[1]; }   // 0: kiss-o'-death, 16 and up: unsynchronised
  int8_t poll() const { return static_cast<int8_t>(bytes[2]); }                   // log2 seconds
  int8_t precision() const { return static_cast<int8_t>(bytes[3]); }              // log2 seconds
  int32_t rootDelay() const { return static_cast<int32_t>(readBigEndian32(4)); }  // 16.16 s
  uint32_t rootDispersion() const { return readBigEndian32(8); }                  // 16.16 s
  // As they stand: four characters for stratum 0 and 1, else an IPv4 address.
  const uint8_t* referenceId() const { return bytes + 12; }

  NtpTimestamp referenceTimestamp() const { return timestampAt(kReferenceTimestampOffset); }
  NtpTimestamp originateTimestamp() const { return timestampAt(kOriginateTimestampOffset); }
  NtpTimestamp receiveTimestamp() const { return timestampAt(kReceiveTimestampOffset); }
  NtpTimestamp transmitTimestamp() const { return timestampAt(kTransmitTimestampOffset); }

  uint32_t readBigEndian32(int offset) const {
    return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
           (uint32_t{bytes[offset + 2]} << 8) | bytes[offset + 3];
  }
  NtpTimestamp timestampAt(int offset) const {
    NtpTimestamp t;
    t.ReadWire(bytes + offset);
    return t;
  }
};

// Fills buffer (NtpPacket::kSize bytes) with a client request, version 4,
// whose transmit timestamp is T1: the precision clock's time, read here.
void BuildRequest(uint8_t* buffer);
// The same with a given transmit timestamp.
void BuildRequest(uint8_t* buffer, NtpTimestamp transmit);

// Writes the packet in buffer (NtpPacket::kSize bytes) as four Detail entries
// to the error log, the first beginning with prefix.
void LogPacket(const char* prefix, const uint8_t* buffer);

}  // namespace veltraw
