#include <windows.h>
// After windows.h, which they need.
#include <cderr.h>
#include <commdlg.h>

#include <cstring>
#include <string>

#include "ui/Dialogs_win32.h"
#include "ui/LogSettingsDialogIds.h"
#include "ui/LogSettingsModel.h"
#include "ui/ModalDialog_win32.h"

namespace veltraw {

namespace {

// The common file-open dialog with no options: the chosen file need not exist.
bool chooseFile(HWND owner, const FileChooserRequest& request, std::string& path) {
  // Pairs of texts, each ending in a NUL, and one more NUL after the last.
  std::string filters;
  for (const FileFilter& filter : request.filters) {
    filters.append(filter.name).push_back('\0');
    filters.append(filter.pattern).push_back('\0');
  }
  filters.push_back('\0');

  char name[LogSettingsModel::kMaxPathLength + 1] = {};
  std::strncpy(name, path.c_str(), LogSettingsModel::kMaxPathLength);
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filters.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name;
  dialog.nMaxFile = sizeof name;
  dialog.lpstrTitle = request.title;
  if (!GetOpenFileNameA(&dialog)) {
    // A stored path that is no valid file name (a quote or '<' in it) keeps
    // the chooser from opening at all; the user still gets to choose.
    if (CommDlgExtendedError() != FNERR_INVALIDFILENAME || name[0] == '\0') return false;
    name[0] = '\0';
    if (!GetOpenFileNameA(&dialog)) return false;
  }
  path = name;
  return true;
}

class LogSettingsDialog : public ModalDialog {
 protected:
  bool onInit() override {
    centreOnScreen();
    m_model.load();
    limitText(IDC_LOG_FILE);
    limitText(IDC_DATA_FILE);
    setText(IDC_DATA_FILE, m_model.path(OutputFile::Data));
    setText(IDC_LOG_FILE, m_model.path(OutputFile::Log));
    setChecked(IDC_LOG_DETAILS, m_model.logDetails());
    SetForegroundWindow(window());
    return true;
  }

  bool onCommand(int controlId, int notification) override {
    if (notification != BN_CLICKED) return false;
    if (controlId == IDC_LOG_BROWSE) {
      browse(OutputFile::Log, IDC_LOG_FILE);
      return true;
    }
    if (controlId == IDC_DATA_BROWSE) {
      browse(OutputFile::Data, IDC_DATA_FILE);
      return true;
    }
    return false;
  }

  void onOK() override {
    m_model.store(text(IDC_LOG_FILE, LogSettingsModel::kMaxPathLength), checked(IDC_LOG_DETAILS),
                  text(IDC_DATA_FILE, LogSettingsModel::kMaxPathLength));
    end(IDOK);
  }

 private:
  // The user cannot type more than the setting keeps.
  void limitText(int controlId) {
    SendMessageA(item(controlId), EM_LIMITTEXT, LogSettingsModel::kMaxPathLength, 0);
  }

  void browse(OutputFile which, int fieldId) {
    HWND owner = window();
    const bool chosen =
        m_model.browse(which, [owner](const FileChooserRequest& request, std::string& path) {
          return chooseFile(owner, request, path);
        });
    if (chosen) setText(fieldId, m_model.path(which));
  }

  LogSettingsModel m_model;
};

}  // namespace

bool runLogSettingsDialog(HINSTANCE module) {
  LogSettingsDialog dialog;
  return dialog.run(module, IDD_LOG_SETTINGS) == IDOK;
}

}  // namespace veltraw
