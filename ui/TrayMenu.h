// The tray icon's popup menu: its items in order and what each command does.
#pragma once

#include <cstdint>
#include <vector>

namespace veltraw {

enum MenuCommand : int32_t {
  CmdAbout = 100,
  CmdExit = 101,
  CmdStatistics = 103,
  CmdServerSettings = 104,
  CmdLoggingSettings = 105,
  CmdMonitorSettings = 109,
  CmdTestPackets = 112,
  CmdUpdateNow = 113,
};

struct MenuItem {
  int32_t id;        // 0 for a separator
  const char* text;  // null for a separator
};

// The items in menu order.
const std::vector<MenuItem>& trayMenuItems();

enum class CommandAction {
  None,
  About,
  Exit,
  Statistics,
  ServerSettings,
  LoggingSettings,
  MonitorSettings,
  TestPackets,
  UpdateNow,
};

// The command id is the low 16 bits of the WM_COMMAND word; ids outside the
// menu do nothing.
int32_t commandId(uint64_t commandWord);
CommandAction commandAction(int32_t id);

}  // namespace veltraw
