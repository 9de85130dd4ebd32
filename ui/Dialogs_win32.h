// The entry point of every dialog of the program, as the tray menu and the
// core open them. Each is modal and has no owner window; each runs its own
// message loop, so updates go on while it is open.
#pragma once

#include <windows.h>

namespace veltraw {

class SntpClientApp;

// "Exiting Veltraw": true when the user chose "&Exit".
bool runExit(HINSTANCE module);
void runAbout(HINSTANCE module);

// "Server Configuration": true when it ended with OK (the settings are then
// stored; the caller applies them and starts an update).
bool runServerDialog(HINSTANCE module);
// The local time-server search, and what it stored as the primary server.
enum class SearchOutcome { NothingStored, ServerStored, ApplianceStored };
SearchOutcome runServerSearch(HINSTANCE module);

// "Log Settings": true when it ended with OK (the caller applies the settings).
bool runLogSettingsDialog(HINSTANCE module);
// "Monitoring": true when it ended with OK; the monitor reads its settings at
// each use, so nothing needs applying.
bool runMonitorSettingsDialog(HINSTANCE module);

// "Veltraw Statistics", one at a time: a second call brings the open one to
// the front. refreshStatisticsDialog may be called from any thread.
void openStatisticsDialog(HINSTANCE module, SntpClientApp& core);
void refreshStatisticsDialog();

// "Send NTP Test Packets".
void runTestPacketsDialog(HINSTANCE module);

}  // namespace veltraw
