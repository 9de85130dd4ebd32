// Logs any 48 bytes as a packet, and builds a request around any transmit
// time. The log text is always four entries, one line each, that show every
// field as the bytes hold it, with no control character but those of the
// caller's prefix.
//
// Input: the packet (48 bytes), then the prefix (up to its first NUL).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "LIB/Log/ErrorLog.h"
#include "fuzz/FuzzInput.h"
#include "sntp/NtpPacket.h"

using veltraw::NtpPacket;
using veltraw::NtpTimestamp;
using veltraw_fuzz::FuzzInput;

namespace {

class EntrySink : public veltraw::LogSink {
 public:
  EntrySink() : LogSink(false) { level = veltraw::Trace; }
  void beginEntry(std::time_t, int32_t entryLevel) override {
    entries.emplace_back();
    levels.push_back(entryLevel);
  }
  void write(const char* text) override {
    if (!entries.empty()) entries.back() += text;
  }
  void endEntry() override { ++ended; }

  std::vector<std::string> entries;
  std::vector<int32_t> levels;
  size_t ended = 0;
};

uint32_t bigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         bytes[3];
}

std::string timestampText(const uint8_t* bytes) {
  char text[24];
  std::snprintf(text, sizeof text, "%08x.%08x", static_cast<unsigned>(bigEndian32(bytes)),
                static_cast<unsigned>(bigEndian32(bytes + 4)));
  return text;
}

// The four lines as the packet's bytes, read here, say they must be.
std::vector<std::string> expectedLines(const std::string& prefix, const uint8_t* b) {
  char text[200];
  std::vector<std::string> lines;
  std::snprintf(text, sizeof text, ": LI=%d VN=%d Mode=%d Strat=0x%02x", b[0] >> 6, (b[0] >> 3) & 7,
                b[0] & 7, b[1]);
  lines.push_back(prefix + text);
  std::snprintf(text, sizeof text,
                "  Poll=%d Prec=%d RtDly=%ld RtDisp=0x%08lx RefId=", static_cast<int8_t>(b[2]),
                static_cast<int8_t>(b[3]),
                static_cast<long>(static_cast<int32_t>(bigEndian32(b + 4))),
                static_cast<unsigned long>(bigEndian32(b + 8)));
  lines.push_back(text);
  for (int i = 12; i < 16; ++i) {
    if (b[i] < 0x20) {
      std::snprintf(text, sizeof text, "\\x%02x", b[i]);
      lines.back() += text;
    } else {
      lines.back() += static_cast<char>(b[i]);
    }
  }
  lines.push_back("  Reference=" + timestampText(b + 16) + " Originate=" + timestampText(b + 24));
  lines.push_back("  Receive=" + timestampText(b + 32) + " Transmit=" + timestampText(b + 40));
  return lines;
}

// The log puts the thread's label, "<id>: ", before every entry's text.
std::string withoutLabel(const std::string& entry) {
  const size_t end = entry.find(">: ");
  FUZZ_CHECK(!entry.empty() && entry[0] == '<' && end != std::string::npos);
  return entry.substr(end + 3);
}

void checkRequest(NtpTimestamp transmit) {
  uint8_t buffer[NtpPacket::kSize];
  veltraw::BuildRequest(buffer, transmit);
  NtpPacket request;
  std::copy(buffer, buffer + NtpPacket::kSize, request.bytes);
  FUZZ_CHECK(request.leapIndicator() == 3 && request.versionNumber() == 4 && request.mode() == 3);
  FUZZ_CHECK(request.transmitTimestamp() == transmit);
  FUZZ_CHECK(request.originateTimestamp().IsZero() && request.receiveTimestamp().IsZero());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  NtpPacket packet;
  const std::string bytes = in.takeBytes(NtpPacket::kSize);
  std::copy(bytes.begin(), bytes.end(), packet.bytes);
  // The prefix is a C string: it ends at the first NUL.
  const std::string prefix = in.takeRest().c_str();

  EntrySink sink;
  veltraw::ErrorLog& log = veltraw::ErrorLog::instance();
  log.addSink(&sink);
  veltraw::LogPacket(prefix.c_str(), packet.bytes);
  log.removeSink(&sink);

  FUZZ_CHECK(sink.entries.size() == 4 && sink.ended == 4);
  const std::vector<std::string> expected = expectedLines(prefix, packet.bytes);
  for (size_t i = 0; i < 4; ++i) {
    FUZZ_CHECK(sink.levels[i] == veltraw::Detail);
    const std::string line = withoutLabel(sink.entries[i]);
    FUZZ_CHECK(line == expected[i]);
    // Only the caller's prefix may bring control characters into the log.
    for (size_t j = i == 0 ? prefix.size() : 0; j < line.size(); ++j) {
      FUZZ_CHECK(static_cast<unsigned char>(line[j]) >= 0x20);
    }
  }

  checkRequest(packet.transmitTimestamp());
  return 0;
}
