// The monitor command: a user's command line template, filled with the data
// of a time-keeping event and launched without waiting for it.
#pragma once

#include <cstdint>
#include <string>

#include "sntp/NtpPacket.h"

namespace veltraw {

class SettingsKey;

// The template with every %-code replaced: %1 name, %2 code, %3 round trip,
// %4 root delay, %5 root dispersion, %6..%9 reference, originate, receive and
// transmit time, %0 precision, %% a single %. Packet fields read "0" when
// packet is null. Any other % sequence, and a % at the very end, stay as they
// are.
std::string expandMonitorCommand(const std::string& commandTemplate, const std::string& code,
                                 const std::string& name, int32_t roundTripMs,
                                 const NtpPacket* packet);

// Starts a command line and returns at once; false when it could not be
// started (platform file).
bool startCommandLine(const std::string& commandLine);
using CommandStarter = bool (*)(const std::string& commandLine);

// Logs the command line and starts it; a start that fails is shown in a
// warning box captioned "Error launching monitor program".
void launchMonitorCommand(const std::string& commandLine, CommandStarter start = startCommandLine);

// Reads MonitorCommand from settings and launches it for the event.
// packet: the reply as received, or null (timeouts, start and stop).
void runMonitorCommand(SettingsKey& settings, const std::string& code, const std::string& name,
                       int32_t roundTripMs, const NtpPacket* packet,
                       CommandStarter start = startCommandLine);

}  // namespace veltraw
