// Every setting the program stores, with the value that stands in for it while
// it is absent. Nobody else spells a value name or a default: the core and the
// dialogs read and write through these. Values are read at each use (see
// SettingsKey), so a change made by a dialog takes effect at its next use.
#pragma once

#include <cstdint>
#include <string>

#include "LIB/Registry/SettingsKey.h"

namespace veltraw::setting {

// The settings key: HKEY_CURRENT_USER\Software\Orvantis\Veltraw.
constexpr const char* kKeyName = "Veltraw";

// Servers: the primary is Server1, the secondaries Server2, Server3, ... in
// fall-back order; only the first `Servers` names count.
constexpr NumberSetting Servers{"Servers", 0};
constexpr TextSetting Server1{"Server1", ""};        // the primary; also in the tooltip
std::string serverValueName(int32_t number);         // "Server<number>", 1-based
// The server the local search found becomes the primary. Servers is raised
// to 1 where it was 0, or the primary would be stored but never asked.
void storeFoundServer(SettingsKey& settings, const std::string& host);
constexpr NumberSetting Frequency{"Frequency", 60};  // seconds between updates
// Requests to the primary per update; 0 asks automatically (see the limits
// below). The server dialog shows "Automatic" for an absent value, and OK
// then stores what it shows.
constexpr NumberSetting Requests{"Requests", 1};
constexpr NumberSetting RequestsInServerDialog{Requests.name, 0};
constexpr NumberSetting ReportOnly{"ReportOnly", 0};  // non-zero: never set the clock

// Tuning without a dialog; written back at every start so that the key shows
// them for editing by hand.
constexpr NumberSetting SetClockOnceDriftExceeds{"SetClockOnceDriftExceeds", 50};  // ms
constexpr NumberSetting AutoRoundTripThreshold{"AutoRoundTripThreshold", 40};      // ms
constexpr NumberSetting AutoMaxRequests{"AutoMaxRequests", 10};
constexpr NumberSetting RoundTripLatencyClockRejectThreshold{"RoundTripLatencyClockRejectThreshold",
                                                             100};  // ms

// Outputs.
constexpr TextSetting LogFile{"LogFile", ""};         // empty: no log file
constexpr NumberSetting LogDetails{"LogDetails", 0};  // non-zero: Detail entries too
constexpr TextSetting DataFile{"DataFile", ""};       // empty: no CSV data file

// The monitor command and the conditions that run it.
constexpr TextSetting MonitorCommand{"MonitorCommand", ""};
constexpr NumberSetting MonitorOnTimeout{"MonitorOnTimeout", 0};
constexpr NumberSetting MonitorOnBadRef{"MonitorOnBadRef", 0};
constexpr NumberSetting MonitorOnLatency{"MonitorOnLatency", 0};
constexpr NumberSetting MonitorLatency{"MonitorLatency", 0};  // ms
constexpr NumberSetting MonitorOnRecovery{"MonitorOnRecovery", 0};
constexpr NumberSetting MonitorOnAll{"MonitorOnAll", 0};
constexpr NumberSetting MonitorOnStartStop{"MonitorOnStartStop", 0};
constexpr NumberSetting MonitorPrimaryOnly{"MonitorPrimaryOnly", 0};

// Start with Windows, applied at Exit.
constexpr NumberSetting Autostart{"Autostart", 1};

// Servers remembered by the test packets dialog, TestServer1, TestServer2, ...
constexpr NumberSetting TestServers{"TestServers", 0};
std::string testServerValueName(int32_t number);  // "TestServer<number>", 1-based

}  // namespace veltraw::setting
