// "Server Configuration": the view of ServerDialogModel. The controls are
// copied into the model before every button acts and back afterwards; the
// model decides everything else.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/Dialogs_win32.h"
#include "ui/ModalDialog_win32.h"
#include "ui/ServerDialogIds.h"
#include "ui/ServerDialogModel.h"

namespace veltraw {

namespace {

class ServerDialog : public ModalDialog {
 protected:
  bool onInit() override {
    ServerDialogServices services;
    services.showWait = [this](bool waiting) { showWaitCursor(waiting); };
    services.owner = window();
    m_model = std::make_unique<ServerDialogModel>(std::move(services));
    m_model->load();
    SendDlgItemMessageA(window(), IDC_PRIMARY_SERVER, EM_LIMITTEXT,
                        ServerDialogModel::kMaxPrimaryLength, 0);
    showServers();
    showChoices(IDC_UPDATE_FREQUENCY, m_model->frequency());
    showChoices(IDC_REQUESTS_PER_UPDATE, m_model->requests());
    setChecked(IDC_REPORT_ONLY, m_model->reportOnly());
    centreOnScreen();
    SetForegroundWindow(window());
    return true;
  }

  bool onCommand(int controlId, int notification) override {
    if (notification != BN_CLICKED) return false;
    switch (controlId) {
      case IDC_AUTODETECT_MIRELOCK:
        autodetect();
        return true;
      case IDC_PUSH_TO_SECONDARY:
        act(&ServerDialogModel::pushToSecondary);
        return true;
      case IDC_DELETE_SECONDARY:
        act(&ServerDialogModel::deleteSelected);
        return true;
      case IDC_SECONDARY_UP:
        act(&ServerDialogModel::moveUp);
        return true;
      case IDC_SECONDARY_DOWN:
        act(&ServerDialogModel::moveDown);
        return true;
      default:
        return false;
    }
  }

  void onOK() override {
    takeServers();
    m_model->frequency().select(selectedChoice(IDC_UPDATE_FREQUENCY));
    m_model->requests().select(selectedChoice(IDC_REQUESTS_PER_UPDATE));
    m_model->setReportOnly(checked(IDC_REPORT_ONLY));
    // A refused primary keeps the dialog open; a store that fails throws,
    // and the program reports it.
    if (m_model->accept()) end(IDOK);
  }

 private:
  void act(DialogFocus (ServerDialogModel::*button)()) {
    takeServers();
    const DialogFocus target = (m_model.get()->*button)();
    if (target == DialogFocus::Unchanged) return;
    showServers();
    focus(target == DialogFocus::PrimaryField ? IDC_PRIMARY_SERVER : IDC_SECONDARY_SERVERS);
  }

  void autodetect() {
    // The search runs its own dialog; only a found appliance changes this one.
    if (runServerSearch(module()) != SearchOutcome::ApplianceStored) return;
    takeServers();
    m_model->applianceFound();
    showServers();
  }

  void takeServers() {
    // One more than the field takes from typing, so that a stored name of
    // the full length that the dialog put there comes back whole.
    m_model->setPrimaryFromField(text(IDC_PRIMARY_SERVER, ServerDialogModel::kMaxStoredNameLength));
    const LRESULT selected =
        SendDlgItemMessageA(window(), IDC_SECONDARY_SERVERS, LB_GETCURSEL, 0, 0);
    m_model->select(selected == LB_ERR ? ServerDialogModel::kNoSelection
                                       : static_cast<int>(selected));
  }

  void showServers() {
    setText(IDC_PRIMARY_SERVER, m_model->primary());
    HWND list = item(IDC_SECONDARY_SERVERS);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& name : m_model->secondaries()) {
      SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(m_model->selected()), 0);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, widestText(list, m_model->secondaries()), 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
  }

  // In pixels, so that the list scrolls sideways to the end of a long name.
  static WPARAM widestText(HWND list, const std::vector<std::string>& texts) {
    HDC context = GetDC(list);
    HGDIOBJ previous =
        SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const std::string& text : texts) {
      SIZE size = {};
      GetTextExtentPoint32A(context, text.c_str(), static_cast<int>(text.size()), &size);
      if (size.cx > widest) widest = size.cx;
    }
    SelectObject(context, previous);
    ReleaseDC(list, context);
    return static_cast<WPARAM>(widest + 4);  // the entries' left margin
  }

  void showChoices(int controlId, const ChoiceList& choices) {
    HWND combo = item(controlId);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    for (const SettingChoice& choice : choices.entries()) {
      SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.label.c_str()));
    }
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(choices.selected()), 0);
  }

  int selectedChoice(int controlId) const {
    const LRESULT selected = SendDlgItemMessageA(window(), controlId, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
  }

  // The dialog takes no input while a test waits; the cursor says so.
  void showWaitCursor(bool waiting) {
    if (waiting) {
      m_previousCursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    } else {
      SetCursor(m_previousCursor);
    }
  }

  std::unique_ptr<ServerDialogModel> m_model;
  HCURSOR m_previousCursor = nullptr;
};

}  // namespace

bool runServerDialog(HINSTANCE module) {
  ServerDialog dialog;
  return dialog.run(module, IDD_SERVER_CONFIG) == IDOK;
}

}  // namespace veltraw
