#include <windows.h>

#include "app/MonitorCommand.h"

namespace veltraw {

bool startCommandLine(const std::string& commandLine) {
  // WinExec reports failures as values below 32.
  return WinExec(commandLine.c_str(), SW_SHOWNORMAL) > 31;
}

}  // namespace veltraw
