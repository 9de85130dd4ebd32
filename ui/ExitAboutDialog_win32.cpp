#include "ui/ExitAboutDialog_win32.h"

#include "ui/AboutDialogIds.h"
#include "ui/CallbackGuard.h"
#include "ui/ExitAboutModel.h"
#include "ui/ExitDialogIds.h"
#include "ui/MessageWindow_win32.h"

namespace veltraw {

namespace {

enum class Placement { AtMouse, ScreenCentre };

// Centres the dialog on a point, kept inside the work area of its monitor.
void placeDialog(HWND dialog, Placement placement) {
  RECT frame = {};
  GetWindowRect(dialog, &frame);
  const LONG width = frame.right - frame.left;
  const LONG height = frame.bottom - frame.top;
  POINT centre = {};
  if (placement == Placement::AtMouse) {
    GetCursorPos(&centre);
  } else {
    centre.x = GetSystemMetrics(SM_CXSCREEN) / 2;
    centre.y = GetSystemMetrics(SM_CYSCREEN) / 2;
  }
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoA(MonitorFromPoint(centre, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& area = monitor.rcWork;
  LONG left = centre.x - width / 2;
  LONG top = centre.y - height / 2;
  // Near the notification area the mouse sits at the screen's edge.
  if (left + width > area.right) left = area.right - width;
  if (top + height > area.bottom) top = area.bottom - height;
  if (left < area.left) left = area.left;
  if (top < area.top) top = area.top;
  SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR CALLBACK exitAboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR handled = FALSE;
  const bool ok = guardCallback(
      [&] {
        if (message == WM_INITDIALOG) {
          const bool exitDialog = lParam == IDD_EXIT;
          placeDialog(dialog, exitDialog ? Placement::AtMouse : Placement::ScreenCentre);
          // The About dialog has no check box; the call does nothing there.
          CheckDlgButton(dialog, IDC_AUTOSTART,
                         AutostartSetting().checked() ? BST_CHECKED : BST_UNCHECKED);
          // Open next to the tray icon, in front of whatever has the focus.
          SetForegroundWindow(dialog);
          handled = TRUE;
        } else if (message == WM_COMMAND) {
          const DialogCommandOutcome outcome = exitAboutCommand(LOWORD(wParam));
          if (outcome.storesChoice) {
            AutostartSetting().store(IsDlgButtonChecked(dialog, IDC_AUTOSTART) == BST_CHECKED);
          }
          if (outcome.closes) EndDialog(dialog, outcome.result ? 1 : 0);
          handled = outcome.handled ? TRUE : FALSE;
        }
      },
      quitForCallbackException);
  if (!ok) {
    // The kept exception ends the program; the dialog must not stay open.
    EndDialog(dialog, 0);
    return TRUE;
  }
  return handled;
}

}  // namespace

bool runExit(HINSTANCE module) {
  return DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_EXIT), nullptr, exitAboutProcedure,
                         IDD_EXIT) == 1;
}

void runAbout(HINSTANCE module) {
  DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, exitAboutProcedure, IDD_ABOUT);
}

}  // namespace veltraw
