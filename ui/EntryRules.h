// The program entry's decisions: what a start with a given command line does
// beside a running instance, how long "-uninstall" waits, and the exit codes.
#pragma once

#include <cstdint>
#include <string>

namespace veltraw {

// The single-instance marker: the tray window.
constexpr const char* kTrayWindowClass = "ZephSystemTrayIcon";
constexpr const char* kTrayWindowTitle = "Veltraw";
constexpr const char* kAlreadyRunningText = "There is already an instance of Veltraw running";

enum ExitCode : int32_t {
  ExitNormal = 0,             // quit from the menu, or "-uninstall" saw the instance go
  ExitAlreadyRunning = 1,     // a second start was refused
  ExitUninstallTimedOut = 2,  // "-uninstall": the instance was still there after the wait
  ExitException = 3,          // ended through the exception box
};

enum class EntryAction { Uninstall, RefuseSecondInstance, Start };

// The whole command line, letter case ignored.
bool isUninstallCommand(const std::string& commandLine);
EntryAction entryAction(const std::string& commandLine, bool instanceRunning);

// "-uninstall" polls the running instance's window at this interval until it
// is gone or the limit has passed since the quit request.
constexpr uint32_t kUninstallPollMs = 500;
constexpr uint32_t kUninstallWaitMs = 5000;

}  // namespace veltraw
