#include "app/AutoLaunch.h"

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/Failure.h"
#include "app/MessageBox.h"

namespace veltraw {

namespace {

void showFailure(void* ownerWindow, const std::string& text) {
  MessageBoxRequest box;
  box.owner = ownerWindow;
  box.text = text;
  box.caption = kAutoLaunchFailureCaption;
  box.style = BoxOk;
  showMessageBox(box);
}

// Writes or removes the entry in the key just opened, then closes it.
void applyToOpenKey(RunKey& key, bool enable, void* ownerWindow) {
  if (enable) {
    std::string path;
    if (const uint32_t error = key.modulePath(path)) {
      showFailure(ownerWindow, "GetModuleFileName failed: " + windowsErrorText(error));
    } else if (const uint32_t error = key.setValue(kAutoLaunchValueName, path)) {
      showFailure(ownerWindow, "RegSetValueEx failed: " + windowsErrorText(error));
    }
  } else if (key.deleteValue(kAutoLaunchValueName) != 0) {
    ErrorLog::instance().begin(Trace) << "No preexisting VeltrawNTPClient launch key" << End;
  }
  if (const uint32_t error = key.close()) {
    showFailure(ownerWindow, "RegCloseKey failed: " + windowsErrorText(error));
  }
}

}  // namespace

void setAutoLaunch(RunKey& key, bool enable, void* ownerWindow) {
  const uint32_t error = key.open(RunKeyScope::Machine, true);
  if (error == kRunKeyAccessDenied) {
    // A standard user: the user's own key starts the program for this user
    // alone, which is all the choice was about.
    ErrorLog::instance().begin(Trace)
        << "No right to change the machine-wide launch key; using the user's own" << End;
    if (const uint32_t userError = key.open(RunKeyScope::User, true)) {
      showFailure(ownerWindow, "RegOpenKeyEx failed: " + windowsErrorText(userError));
      return;
    }
    applyToOpenKey(key, enable, ownerWindow);
    return;
  }
  if (error != 0) {
    showFailure(ownerWindow, "RegOpenKeyEx failed: " + windowsErrorText(error));
    return;
  }
  applyToOpenKey(key, enable, ownerWindow);
  // A copy in the user's key, left from a time without the right to write
  // the machine's, would start a second instance at every logon.
  if (key.open(RunKeyScope::User, true) == 0) {
    if (key.deleteValue(kAutoLaunchValueName) == 0) {
      ErrorLog::instance().begin(Trace)
          << "Removed the user's own VeltrawNTPClient launch key" << End;
    }
    key.close();
  }
}

AutoLaunchState readAutoLaunchState(RunKey& key) {
  AutoLaunchState state;
  if (key.open(RunKeyScope::Machine, true) == 0) {
    state.machineWritable = true;
    state.machineEntry = key.hasValue(kAutoLaunchValueName);
    key.close();
  } else if (key.open(RunKeyScope::Machine, false) == 0) {
    state.machineEntry = key.hasValue(kAutoLaunchValueName);
    key.close();
  }
  if (key.open(RunKeyScope::User, false) == 0) {
    state.userEntry = key.hasValue(kAutoLaunchValueName);
    key.close();
  }
  return state;
}

}  // namespace veltraw
