#include <algorithm>
#include <memory>
#include <string>

#include "LIB/Registry/SettingsKey.h"
#include "app/Settings.h"
#include "sntp/RequestThread.h"
#include "ui/Dialogs_win32.h"
#include "ui/Mailbox.h"
#include "ui/ModalDialog_win32.h"
#include "ui/TestPacketsDialogIds.h"
#include "ui/TestPacketsModel.h"

namespace veltraw {

namespace {

using ReportBox = Mailbox<TestPacketReport>;

// Posted by a request thread: reports wait in the dialog's mailbox.
constexpr UINT kReportsWaiting = WM_APP + 1;

// "Send NTP Test Packets": one request per click, each on its own request
// thread, so the dialog stays usable while a server is slow or silent. The
// texts are built on the request thread (the packet lives only during the
// callback) and shown on the dialog's thread in the order they arrive.
class TestPacketsDialog : public ModalDialog {
 protected:
  bool onInit() override {
    centreOnScreen();
    m_reports = std::make_shared<ReportBox>(
        [window = window()] { PostMessageA(window, kReportsWaiting, 0, 0); });
    m_model.load(SettingsKey(setting::kKeyName));
    SendDlgItemMessageA(window(), IDC_TEST_SERVER, CB_LIMITTEXT, kMaxServerNameLength, 0);
    // Added in the model's order: it decides the order stored at closing,
    // and the list shows that order.
    for (const std::string& name : m_model.servers()) addListEntry(-1, name);
    // The primary chosen from the list: no entry before it begins with it.
    if (!m_model.serverText.empty()) {
      SendDlgItemMessageA(window(), IDC_TEST_SERVER, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>(m_model.serverText.c_str()));
    }
    SetForegroundWindow(window());
    return true;
  }

  bool onCommand(int controlId, int notification) override {
    if (controlId != IDC_SEND_PACKET || notification != BN_CLICKED) return false;
    send();
    return true;
  }

  // Enter with the focus where no default button answers: still a send; the
  // user ends the dialog only through Cancel, Escape or the close box.
  void onOK() override { send(); }

  // Stored first: ending a dialog can take a moment, and the list is to be
  // in the store as soon as the dialog is gone from the screen.
  void onCancel() override {
    storeServers();
    end(IDCANCEL);
  }

  bool onMessage(UINT message, WPARAM, LPARAM, INT_PTR& result) override {
    if (message != kReportsWaiting) return false;
    for (const TestPacketReport& report : m_reports->take()) show(report);
    result = 0;
    return true;
  }

  // Requests still in flight find the mailbox closed and drop their results.
  // A dialog ended by the program rather than the user (Exit from the tray
  // menu, -uninstall) keeps the servers that answered all the same.
  void onDestroy() override {
    if (m_reports) m_reports->close();
    storeServers();
  }

 private:
  void send() {
    m_model.serverText = text(IDC_TEST_SERVER, kMaxServerNameLength);
    const std::string host = m_model.requestHost();
    if (host.empty()) {
      // No name is no server: a resolver would answer with this PC itself.
      NtpResult nothing;
      nothing.status = Failed;
      show(testPacketReport(nothing));
      return;
    }
    void* context = ReportBox::toContext(m_reports);
    if (!StartRequestThread(context, host, deliver, kTestRequestTag, kTestRequestTimeoutMs,
                            kTestRequestCount)) {
      ReportBox::fromContext(context);  // never called back: released here (the start is logged)
    }
  }

  // On the request thread.
  static void deliver(void* context, const NtpResult& result) {
    const std::shared_ptr<ReportBox> reports = ReportBox::fromContext(context);
    reports->post(testPacketReport(result));
  }

  void show(const TestPacketReport& report) {
    if (m_model.apply(report)) {
      const std::vector<std::string>& servers = m_model.servers();
      const auto added = std::find(servers.begin(), servers.end(), report.host);
      // Inserted rather than refilled, so that a typed text or an open list stays.
      addListEntry(static_cast<int>(added - servers.begin()), report.host);
    }
    const ResultTexts& texts = m_model.texts();
    for (size_t i = 0; i < texts.size(); ++i) {
      setText(IDC_ROUND_TRIP + static_cast<int>(i), texts[i]);
    }
  }

  void storeServers() {
    if (m_stored) return;
    m_stored = true;
    SettingsKey settings(setting::kKeyName);
    m_model.store(settings);
  }

  // index -1: at the end.
  void addListEntry(int index, const std::string& name) {
    SendDlgItemMessageA(window(), IDC_TEST_SERVER, CB_INSERTSTRING, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(name.c_str()));
  }

  TestPacketsModel m_model;
  std::shared_ptr<ReportBox> m_reports;
  bool m_stored = false;
};

}  // namespace

void runTestPacketsDialog(HINSTANCE module) {
  TestPacketsDialog dialog;
  dialog.run(module, IDD_TEST_PACKETS);
}

}  // namespace veltraw
