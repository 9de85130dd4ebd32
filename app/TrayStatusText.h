// The tooltip of the notification-area icon: which server is used and how far
// the PC clock was off at the last measurement, or what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace veltraw {

class SettingsKey;

// shownOffsetMs before any offset has been reported.
constexpr int32_t kNoOffsetShown = INT32_MIN;

// The notification area shows this many characters of a tip (its record
// holds 64 with the terminator).
constexpr size_t kTrayTipMaxLength = 63;

// The status phrase for a server, e.g. " using ntp1\rPC fast by 37 ms".
// status: an NtpStatus or Requesting (4); anything else, or an empty name,
// gives the empty text. shownOffsetMs: the primary's last offset, positive
// when the server is ahead of the PC.
std::string statusText(int32_t status, const std::string& serverName, int32_t shownOffsetMs);

// The same for the server of setting "Server<serverNumber>" (1-based).
std::string statusText(SettingsKey& settings, int32_t status, int32_t serverNumber,
                       int32_t shownOffsetMs);

// The tooltip for the primary server: "Veltraw" + statusText, or
// "Veltraw unconfigured". A long server name is shortened with "..." so
// that the whole status, offset line included, fits in maxLength.
std::string trayTipText(int32_t status, const std::string& primaryName, int32_t shownOffsetMs,
                        size_t maxLength = kTrayTipMaxLength);
// The same, with the local time of the last good update after the offset
// line of a good result: "...\rPC fast by 37 ms at 14:07".
std::string trayTipText(int32_t status, const std::string& primaryName, int32_t shownOffsetMs,
                        const std::string& updatedAt, size_t maxLength = kTrayTipMaxLength);
std::string trayTipText(SettingsKey& settings, int32_t status, int32_t shownOffsetMs,
                        size_t maxLength = kTrayTipMaxLength);

// The tooltip of a good result whose offset called for a step that neither
// the clock service nor this program could make:
// "Veltraw using ntp1\rPC slow by 5000 ms, not corrected".
std::string uncorrectedTipText(const std::string& primaryName, int32_t shownOffsetMs,
                               size_t maxLength = kTrayTipMaxLength);

// The tooltip while the primary refuses service (kiss code DENY or RSTR):
// "Veltraw ntp1 refused service (DENY)".
std::string refusedTipText(const std::string& primaryName, const std::string& kissCode,
                           size_t maxLength = kTrayTipMaxLength);

// The tooltip while the clock is taken from a secondary server because the
// primary fails: "Bad " + primary + ";" + statusText(Ok, secondary).
std::string fallbackTipText(const std::string& primaryName, const std::string& secondaryName,
                            int32_t shownOffsetMs, size_t maxLength = kTrayTipMaxLength);

}  // namespace veltraw
