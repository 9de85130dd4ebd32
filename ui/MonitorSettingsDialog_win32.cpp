#include "ui/Dialogs_win32.h"
#include "ui/ModalDialog_win32.h"
#include "ui/MonitorSettingsDialogIds.h"
#include "ui/MonitorSettingsModel.h"

namespace veltraw {

namespace {

struct ConditionBox {
  int controlId;
  bool MonitorSettings::*field;
};
const ConditionBox kBoxes[] = {
    {IDC_MONITOR_ON_TIMEOUT, &MonitorSettings::onTimeout},
    {IDC_MONITOR_ON_BAD_REF, &MonitorSettings::onBadReference},
    {IDC_MONITOR_ON_RECOVERY, &MonitorSettings::onRecovery},
    {IDC_MONITOR_ON_ALL, &MonitorSettings::onEveryPacket},
    {IDC_MONITOR_ON_LATENCY, &MonitorSettings::onLatency},
    {IDC_MONITOR_ON_START_STOP, &MonitorSettings::onStartStop},
    {IDC_MONITOR_PRIMARY_ONLY, &MonitorSettings::primaryOnly},
};

// Longer than any number the field can show, so that a typed overflow still
// reaches the model whole.
constexpr size_t kLatencyTextLength = 64;

class MonitorSettingsDialog : public ModalDialog {
 protected:
  bool onInit() override {
    centreOnScreen();
    const MonitorSettings shown = m_model.load();
    // The user cannot type more than the setting keeps.
    SendMessageA(item(IDC_MONITOR_COMMAND), EM_LIMITTEXT, MonitorSettingsModel::kMaxCommandLength,
                 0);
    SendMessageA(item(IDC_MONITOR_LATENCY), EM_LIMITTEXT, kLatencyTextLength, 0);
    setText(IDC_MONITOR_COMMAND, shown.command);
    setText(IDC_MONITOR_LATENCY, shown.latencyText);
    for (const ConditionBox& box : kBoxes) setChecked(box.controlId, shown.*box.field);
    SetForegroundWindow(window());
    return true;
  }

  void onOK() override {
    MonitorSettings edited;
    edited.command = text(IDC_MONITOR_COMMAND, MonitorSettingsModel::kMaxCommandLength);
    edited.latencyText = text(IDC_MONITOR_LATENCY, kLatencyTextLength);
    for (const ConditionBox& box : kBoxes) edited.*box.field = checked(box.controlId);
    m_model.store(edited);
    end(IDOK);
  }

 private:
  MonitorSettingsModel m_model;
};

}  // namespace

bool runMonitorSettingsDialog(HINSTANCE module) {
  MonitorSettingsDialog dialog;
  return dialog.run(module, IDD_MONITOR_SETTINGS) == IDOK;
}

}  // namespace veltraw
