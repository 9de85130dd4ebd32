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

}  // namespace

void setAutoLaunch(RunKey& key, bool enable, void* ownerWindow) {
  if (const uint32_t error = key.open()) {
    showFailure(ownerWindow, "RegOpenKeyEx failed: " + windowsErrorText(error));
    return;
  }
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

}  // namespace veltraw
