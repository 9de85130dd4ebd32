// -install and -remove: one path for the installer, the tests and an
// administrator. Installing over an installed service updates it in place
// (a newer program file, the same name) and restarts it.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "LIB/Log/Failure.h"
#include "service/PipeIo_win32.h"
#include "service/ServiceParts_win32.h"

namespace veltraw {

const char kServiceDisplayName[] = "Veltraw Clock Service";

namespace {

constexpr char kAccount[] = "NT AUTHORITY\\LocalService";
constexpr char kDescription[] =
    "Sets the PC clock for Veltraw from a time server that it measures itself. "
    "Serves programs of this PC only.";
// The one privilege the service needs; the system takes the others away.
constexpr char kPrivileges[] = SE_SYSTEMTIME_NAME "\0";
constexpr DWORD kStateWaitMs = 30000;

int failed(const char* what) {
  std::fprintf(stderr, "VeltrawService: %s: %s\n", what, lastErrorText().c_str());
  return 1;
}

// Waits until the service reaches state; false when it does not within
// kStateWaitMs.
bool waitForState(SC_HANDLE service, DWORD state) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStateWaitMs);
  SERVICE_STATUS status{};
  while (QueryServiceStatus(service, &status) && status.dwCurrentState != state) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return status.dwCurrentState == state;
}

bool stop(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service, &status)) return false;
  if (status.dwCurrentState == SERVICE_STOPPED) return true;
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  return waitForState(service, SERVICE_STOPPED);
}

// Started, or running already. While the service control manager is still
// starting the system's services (soon after the system starts) it refuses
// with "database locked": asked again until it takes the request.
bool start(SC_HANDLE service) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStateWaitMs);
  while (!StartServiceA(service, 0, nullptr)) {
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) return true;
    if (error != ERROR_SERVICE_DATABASE_LOCKED || std::chrono::steady_clock::now() > deadline) {
      SetLastError(error);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  return true;
}

// What the system may refuse for want of support (an older system, or one
// that only imitates the service control manager) rather than of a right.
bool unsupported(DWORD error) {
  return error == ERROR_INVALID_LEVEL || error == ERROR_CALL_NOT_IMPLEMENTED ||
         error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER;
}

bool configure(SC_HANDLE service, const char* what, DWORD level, void* info) {
  if (ChangeServiceConfig2A(service, level, info)) return true;
  const DWORD error = GetLastError();
  std::fprintf(stderr, "VeltrawService: %s: %s\n", what, windowsErrorText(error).c_str());
  return unsupported(error);
}

}  // namespace

int InstallService() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return failed("no program path");
  const std::string command = std::string("\"") + path + "\"";
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager.get()) return failed("cannot open the service control manager");
  ScopedServiceHandle created(
      CreateServiceA(manager.get(), kClockServiceName, kServiceDisplayName, SERVICE_ALL_ACCESS,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                     command.c_str(), nullptr, nullptr, nullptr, kAccount, ""));
  const DWORD createError = created.get() ? NO_ERROR : GetLastError();
  ScopedServiceHandle opened(
      created.get() ? nullptr : OpenServiceA(manager.get(), kClockServiceName, SERVICE_ALL_ACCESS));
  SC_HANDLE service = created.get() ? created.get() : opened.get();
  if (!service) {
    SetLastError(createError);
    return failed("cannot create the service");
  }
  if (!created.get()) {
    // An older version: stopped, then given this program and the settings
    // below, as if new.
    if (!stop(service)) return failed("the installed service does not stop");
    if (!ChangeServiceConfigA(service, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                              SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr,
                              kAccount, "", kServiceDisplayName)) {
      return failed("cannot update the service");
    }
  }
  SERVICE_DESCRIPTIONA description{const_cast<char*>(kDescription)};
  SERVICE_REQUIRED_PRIVILEGES_INFOA privileges{const_cast<char*>(kPrivileges)};
  // Restarted 5 s after the first and second failure, a minute after later
  // ones; the count starts again after a day without one.
  SC_ACTION actions[] = {
      {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 60000}};
  SERVICE_FAILURE_ACTIONSA failure{86400, nullptr, nullptr, 3, actions};
  // A stop with an error (the pipe taken by another program) counts as a
  // failure too.
  SERVICE_FAILURE_ACTIONS_FLAG onErrors{TRUE};
  if (!configure(service, "description", SERVICE_CONFIG_DESCRIPTION, &description) ||
      !configure(service, "required privileges", SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO,
                 &privileges) ||
      !configure(service, "failure actions", SERVICE_CONFIG_FAILURE_ACTIONS, &failure) ||
      !configure(service, "failure actions flag", SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrors)) {
    return 1;
  }
  std::string folder, errorText;
  if (!MakeDataFolder(folder, errorText)) {
    std::fprintf(stderr, "VeltrawService: no data folder: %s\n", errorText.c_str());
  }
  if (!start(service)) return failed("the service does not start");
  if (!waitForState(service, SERVICE_RUNNING)) return failed("the service is not running");
  std::printf("%s installed and running\n", kServiceDisplayName);
  return 0;
}

// Stops the service and, with remove, deletes it; nothing to do when it is
// not installed.
int StopService(bool remove) {
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.get()) return failed("cannot open the service control manager");
  const DWORD access = SERVICE_STOP | SERVICE_QUERY_STATUS | (remove ? DELETE : 0);
  ScopedServiceHandle service(OpenServiceA(manager.get(), kClockServiceName, access));
  if (!service.get()) {
    if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) return failed("cannot open the service");
    std::printf("%s is not installed\n", kServiceDisplayName);
    return 0;
  }
  if (!stop(service.get())) return failed("the service does not stop");
  if (!remove) {
    std::printf("%s stopped\n", kServiceDisplayName);
    return 0;
  }
  if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
    return failed("cannot remove the service");
  }
  std::printf("%s removed\n", kServiceDisplayName);
  return 0;
}

}  // namespace veltraw
