#include "ui/TrayMenu.h"

namespace veltraw {

const std::vector<MenuItem>& trayMenuItems() {
  static const std::vector<MenuItem> items = {
      {CmdUpdateNow, "&Update Now"},
      {0, nullptr},
      {CmdStatistics, "Statisti&cs..."},
      {CmdTestPackets, "&Test Packets..."},
      {0, nullptr},
      {CmdServerSettings, "&Server Settings..."},
      {CmdLoggingSettings, "&Logging Settings..."},
      {CmdMonitorSettings, "&Monitor Settings..."},
      {0, nullptr},
      {CmdAbout, "&About"},
      {CmdExit, "E&xit"},
  };
  return items;
}

int32_t commandId(uint64_t commandWord) { return static_cast<int32_t>(commandWord & 0xFFFF); }

CommandAction commandAction(int32_t id) {
  switch (id) {
    case CmdAbout:
      return CommandAction::About;
    case CmdExit:
      return CommandAction::Exit;
    case CmdStatistics:
      return CommandAction::Statistics;
    case CmdServerSettings:
      return CommandAction::ServerSettings;
    case CmdLoggingSettings:
      return CommandAction::LoggingSettings;
    case CmdMonitorSettings:
      return CommandAction::MonitorSettings;
    case CmdTestPackets:
      return CommandAction::TestPackets;
    case CmdUpdateNow:
      return CommandAction::UpdateNow;
    default:
      return CommandAction::None;
  }
}

}  // namespace veltraw
