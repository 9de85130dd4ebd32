// The program entry: one instance per user, "-uninstall" to end it, the
// message loop, and the exception box for whatever ends the program early.
#include <windows.h>

#include <memory>
#include <string>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/Failure.h"
#include "LIB/Log/LogSinks.h"
#include "app/MessageBox.h"
#include "ui/CallbackGuard.h"
#include "ui/EntryRules.h"
#include "ui/TrayApp_win32.h"

namespace veltraw {
namespace {

// Asks the running instance to quit and waits until its window is gone.
int32_t endRunningInstance(HWND running) {
  if (!running) return ExitNormal;
  // WM_QUIT through the window's queue ends its loop like PostQuitMessage.
  PostMessageA(running, WM_QUIT, 0, 0);
  const DWORD posted = GetTickCount();
  while (IsWindow(running)) {
    if (GetTickCount() - posted >= kUninstallWaitMs) return ExitUninstallTimedOut;
    Sleep(kUninstallPollMs);
  }
  return ExitNormal;
}

int32_t runMessageLoop() {
  MSG message = {};
  BOOL got;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return got < 0 ? ExitException : static_cast<int32_t>(message.wParam);
}

void showExceptionBox(const std::string& title, const std::string& text) {
  MessageBoxRequest box;
  box.text = text;
  box.caption = title;
  box.style = BoxOk | BoxIconWarning;
  showMessageBox(box);
}

int32_t runProgram(HINSTANCE module, const std::string& commandLine) {
  DebugLogSink debugSink;
  debugSink.level = Trace;
  ErrorLog::instance().addSink(&debugSink);
  int32_t exitCode = ExitNormal;
  std::unique_ptr<TrayApp> app;
  const auto teardown = [&] {
    app.reset();
    ErrorLog::instance().removeSink(&debugSink);
  };
  try {
    const bool finished = runReportingExceptions(
        [&] {
          HWND running = FindWindowA(kTrayWindowClass, kTrayWindowTitle);
          switch (entryAction(commandLine, running != nullptr)) {
            case EntryAction::Uninstall:
              exitCode = endRunningInstance(running);
              return;
            case EntryAction::RefuseSecondInstance: {
              MessageBoxRequest box;
              box.text = kAlreadyRunningText;
              box.caption = kTrayWindowTitle;
              box.style = BoxOk | BoxIconWarning;
              showMessageBox(box);
              exitCode = ExitAlreadyRunning;
              return;
            }
            case EntryAction::Start:
              break;
          }
          app = std::make_unique<TrayApp>(module);
          app->core().promptForServer();
          exitCode = runMessageLoop();
          // An exception kept at a callback ends here, in the handler below.
          rethrowPendingCallbackException();
        },
        [&](const std::string& title, const std::string& text) {
          // No more update cycles on a program that is ending.
          if (app) app->stopTimer();
          showExceptionBox(title, text);
        });
    if (!finished) exitCode = ExitException;
  } catch (...) {
    // Not ours to report, but the icon must not outlive the process.
    teardown();
    throw;
  }
  teardown();
  return exitCode;
}

}  // namespace
}  // namespace veltraw

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  return veltraw::runProgram(instance, commandLine ? commandLine : "");
}
