// The parts of the service program, one file each.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "service/ClockRequestHandler.h"

namespace veltraw {

extern const char kServiceDisplayName[];

// ServicePipe_win32.cpp: serves one client at a time until stop is
// signalled; beforeEach runs as each client connects. False (logged) when
// the pipe cannot be made, as when another program holds its name.
bool ServePipe(ClockRequestHandler& handler, HANDLE stop, const std::function<void()>& beforeEach);

// ServiceSystem_win32.cpp: what the service learns from the system.
class SystemServerEnvironment : public ServerEnvironment {
 public:
  bool AllowedServers(std::vector<std::string>& servers) override;
  bool Resolve(const std::string& name, std::vector<SocketAddress>& addresses) override;
  bool OwnInterfaces(std::vector<NetworkInterface>& interfaces) override;
};
// Enables the right to set the clock in the process's token.
bool EnableClockPrivilege(std::string& errorText);
// %ProgramData%\Orvantis\Veltraw, made when missing, readable by users and
// writable only by the service and administrators.
bool MakeDataFolder(std::string& folder, std::string& errorText);

// ServiceSetup_win32.cpp: -install, -stop and -remove; the process's exit code.
int InstallService();
int StopService(bool remove);

}  // namespace veltraw
