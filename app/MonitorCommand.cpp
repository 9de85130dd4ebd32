#include "app/MonitorCommand.h"

#include <cstdio>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Registry/SettingsKey.h"
#include "app/MessageBox.h"
#include "app/Settings.h"

namespace veltraw {

namespace {

std::string formatUnsigned(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  return text;
}

std::string formatTimestamp(const NtpPacket& packet, int offset) {
  // Seconds since 1900 need at most 10 digits before the point.
  char text[40];
  std::snprintf(text, sizeof text, "%0.8f", packet.timestampAt(offset).ToSeconds());
  return text;
}

// What a packet code stands for; "0" when there is no packet.
std::string packetField(char code, const NtpPacket* packet) {
  if (packet == nullptr) return "0";
  switch (code) {
    case '4':
      return formatUnsigned(packet->readBigEndian32(4));
    case '5':
      return formatUnsigned(packet->readBigEndian32(8));
    case '6':
      return formatTimestamp(*packet, NtpPacket::kReferenceTimestampOffset);
    case '7':
      return formatTimestamp(*packet, NtpPacket::kOriginateTimestampOffset);
    case '8':
      return formatTimestamp(*packet, NtpPacket::kReceiveTimestampOffset);
    case '9':
      return formatTimestamp(*packet, NtpPacket::kTransmitTimestampOffset);
    default: {
      char text[8];
      std::snprintf(text, sizeof text, "%d", static_cast<int>(packet->precision()));
      return text;
    }
  }
}

}  // namespace

std::string expandMonitorCommand(const std::string& commandTemplate, const std::string& code,
                                 const std::string& name, int32_t roundTripMs,
                                 const NtpPacket* packet) {
  std::string line;
  line.reserve(commandTemplate.size() + name.size() + 64);
  for (size_t i = 0; i < commandTemplate.size(); ++i) {
    const char c = commandTemplate[i];
    if (c != '%') {
      line += c;
      continue;
    }
    if (i + 1 == commandTemplate.size()) {
      line += '%';
      break;
    }
    const char selector = commandTemplate[++i];
    switch (selector) {
      case '1':
        line += name;
        break;
      case '2':
        line += code;
        break;
      // "%u" of the signed round trip, as the command line has always shown it.
      case '3':
        line += formatUnsigned(static_cast<uint32_t>(roundTripMs));
        break;
      case '0':
      case '4':
      case '5':
      case '6':
      case '7':
      case '8':
      case '9':
        line += packetField(selector, packet);
        break;
      case '%':
        line += '%';
        break;
      default:
        line += '%';
        line += selector;
        break;
    }
  }
  return line;
}

void launchMonitorCommand(const std::string& commandLine, CommandStarter start) {
  ErrorLog::instance().begin(Warning) << "Running Monitor Program: " << commandLine << End;
  if (start(commandLine)) return;
  MessageBoxRequest box;
  box.text = commandLine;
  box.caption = "Error launching monitor program";
  box.style = BoxOk | BoxIconWarning;
  showMessageBox(box);
}

void runMonitorCommand(SettingsKey& settings, const std::string& code, const std::string& name,
                       int32_t roundTripMs, const NtpPacket* packet, CommandStarter start) {
  const std::string commandTemplate = settings.read(setting::MonitorCommand);
  launchMonitorCommand(expandMonitorCommand(commandTemplate, code, name, roundTripMs, packet),
                       start);
}

}  // namespace veltraw
