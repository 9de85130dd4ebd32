#include "app/AutoLaunch.h"
#include "ui/AboutDialogIds.h"
#include "ui/Dialogs_win32.h"
#include "ui/ExitAboutModel.h"
#include "ui/ExitDialogIds.h"
#include "ui/ModalDialog_win32.h"

namespace veltraw {

namespace {

// "Exiting Veltraw": the check box is the Autostart setting, stored the
// moment it is clicked, whichever button closes the dialog afterwards.
class ExitDialog : public ModalDialog {
 protected:
  bool onInit() override {
    centreOnMouse();  // next to the notification-area icon
    setChecked(IDC_AUTOSTART, AutostartSetting().checked());
    // An administrator's machine-wide entry starts the program whatever this
    // user chooses, and this user cannot remove it: say so by the box.
    if (readAutoLaunchState(RunKey::Platform()).fixedByAdministrator()) {
      setChecked(IDC_AUTOSTART, true);
      EnableWindow(item(IDC_AUTOSTART), FALSE);
    }
    // In front of whatever has the focus, as the menu that opened it was.
    SetForegroundWindow(window());
    return true;
  }
  bool onCommand(int controlId, int) override {
    if (controlId != IDC_AUTOSTART) return false;
    AutostartSetting().store(checked(IDC_AUTOSTART));
    return true;
  }
};

class AboutDialog : public ModalDialog {
 protected:
  bool onInit() override {
    centreOnScreen();
    SetForegroundWindow(window());
    return true;
  }
};

}  // namespace

bool runExit(HINSTANCE module) {
  ExitDialog dialog;
  return dialog.run(module, IDD_EXIT) == IDOK;
}

void runAbout(HINSTANCE module) {
  AboutDialog dialog;
  dialog.run(module, IDD_ABOUT);
}

}  // namespace veltraw
