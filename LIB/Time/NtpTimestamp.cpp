#include "LIB/Time/NtpTimestamp.h"

#include <cstdio>

#include "LIB/Log/ErrorLog.h"

namespace veltraw {

int NtpTimestamp::WriteWire(uint8_t* bytes) const {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(m_value >> (56 - 8 * i));
  return 8;
}

int NtpTimestamp::ReadWire(const uint8_t* bytes) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
  m_value = value;
  return 8;
}

namespace {

void formatText(NtpTimestamp t, char (&text)[24]) {
  std::snprintf(text, sizeof text, "%08x.%08x", static_cast<unsigned>(t.seconds()),
                static_cast<unsigned>(t.fraction()));
}

}  // namespace

std::string NtpTimestamp::ToText() const {
  char text[24];
  formatText(*this, text);
  return text;
}

double NtpTimestamp::ToSeconds() const {
  return static_cast<double>(seconds()) + static_cast<double>(fraction()) / 4294967296.0;
}

ErrorLog& operator<<(ErrorLog& log, const NtpTimestamp& timestamp) {
  // On the stack: timestamps are logged for every packet.
  char text[24];
  formatText(timestamp, text);
  return log << static_cast<const char*>(text);
}

}  // namespace veltraw
