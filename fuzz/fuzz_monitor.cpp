// Expands any monitor command template with any event data, with and without
// a packet. Checks that need no second expander: a template without '%' comes
// back as it is; no %-code yields more than its longest possible text; only
// the packet codes depend on the packet; each packet code, alone, gives the
// number its bytes hold.
//
// Input: a flag byte (bit 0: with a packet), the round trip (4 bytes), the
// packet (48 bytes, when flagged), the code and the name (each a length byte
// and bytes), then the template.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/MonitorCommand.h"
#include "fuzz/FuzzInput.h"

using veltraw::NtpPacket;
using veltraw_fuzz::FuzzInput;

namespace {

// "4294967296.00000000": the widest timestamp, wider than any 32-bit number.
constexpr size_t kWidestNumber = 19;

uint32_t bigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         bytes[3];
}

bool isDigits(const std::string& text, size_t from, size_t to) {
  if (from >= to || to > text.size()) return false;
  return std::all_of(text.begin() + from, text.begin() + to,
                     [](char c) { return c >= '0' && c <= '9'; });
}

// Each packet code on its own: the field's value, read from the bytes here.
void checkPacketCodes(const NtpPacket& packet) {
  auto expand = [&](const char* code) {
    return veltraw::expandMonitorCommand(code, "", "", 0, &packet);
  };
  const std::string delay = expand("%4");
  FUZZ_CHECK(isDigits(delay, 0, delay.size()));
  FUZZ_CHECK(std::strtoul(delay.c_str(), nullptr, 10) == bigEndian32(packet.bytes + 4));
  const std::string dispersion = expand("%5");
  FUZZ_CHECK(isDigits(dispersion, 0, dispersion.size()));
  FUZZ_CHECK(std::strtoul(dispersion.c_str(), nullptr, 10) == bigEndian32(packet.bytes + 8));
  const long precision = std::strtol(expand("%0").c_str(), nullptr, 10);
  FUZZ_CHECK(precision == static_cast<int8_t>(packet.bytes[3]));

  const char* const timestampCodes[] = {"%6", "%7", "%8", "%9"};
  for (int i = 0; i < 4; ++i) {
    const uint8_t* field = packet.bytes + 16 + 8 * i;
    const std::string text = expand(timestampCodes[i]);
    // Whole seconds, a point, eight decimals.
    const size_t point = text.find('.');
    FUZZ_CHECK(point != std::string::npos && text.size() == point + 9);
    FUZZ_CHECK(isDigits(text, 0, point) && isDigits(text, point + 1, text.size()));
    const double expected = bigEndian32(field) + bigEndian32(field + 4) / 4294967296.0;
    // A double near 2^32 s is good to about 5e-7 s.
    FUZZ_CHECK(std::fabs(std::strtod(text.c_str(), nullptr) - expected) < 2e-6);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const auto flags = in.take<uint8_t>();
  const auto roundTripMs = in.take<int32_t>();
  NtpPacket packet;
  const bool withPacket = (flags & 1) != 0;
  if (withPacket) {
    const std::string bytes = in.takeBytes(NtpPacket::kSize);
    std::copy(bytes.begin(), bytes.end(), packet.bytes);
  }
  const std::string code = in.takeShortString();
  const std::string name = in.takeShortString();
  const std::string commandTemplate = in.takeRest();

  const std::string line = veltraw::expandMonitorCommand(commandTemplate, code, name, roundTripMs,
                                                         withPacket ? &packet : nullptr);

  const size_t percents = std::count(commandTemplate.begin(), commandTemplate.end(), '%');
  if (percents == 0) FUZZ_CHECK(line == commandTemplate);
  // A % and its character become at most the longest of the substitutions.
  const size_t widest = std::max({kWidestNumber, name.size(), code.size()});
  FUZZ_CHECK(line.size() <= commandTemplate.size() + percents * widest);

  if (withPacket) {
    // Without any of the packet codes' digits the packet cannot matter.
    if (commandTemplate.find_first_of("0456789") == std::string::npos) {
      FUZZ_CHECK(line ==
                 veltraw::expandMonitorCommand(commandTemplate, code, name, roundTripMs, nullptr));
    }
    checkPacketCodes(packet);
  }
  return 0;
}
