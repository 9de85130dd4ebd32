// The progress dialog of the local time-server search. AutodetectSearch does
// the work; this view runs its timer, shows what it reports and ends when it
// says so. Probes report on their own threads: the search only posts a wake
// to this window, which then asks for the update on its own thread, so every
// control and every box belongs to the dialog's thread.
#include <windows.h>
// Needs the types of windows.h.
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/Failure.h"
#include "LIB/Registry/SettingsKey.h"
#include "app/MessageBox.h"
#include "app/Settings.h"
#include "sntp/Autodetect.h"
#include "ui/Dialogs_win32.h"
#include "ui/ModalDialog_win32.h"
#include "ui/ServerSearchIds.h"

namespace veltraw {

namespace {

constexpr UINT_PTR kProbeTimerId = 1;
constexpr UINT kWakeMessage = WM_APP + 1;  // a probe's report changed the search

void storePrimaryServer(const std::string& host) {
  SettingsKey key(setting::kKeyName);
  setting::storeFoundServer(key, host);
}

class ServerSearchDialog : public ModalDialog {
 public:
  ServerSearchDialog() {
    AutodetectServices services;
    // Shared: a probe's thread may hold the search, and with it this store,
    // a moment longer than the dialog lives.
    services.storeServer = [stored = m_stored](const std::string& host) {
      storePrimaryServer(host);
      *stored = true;
    };
    m_search = std::make_shared<AutodetectSearch>(services);
  }

  // A server, of whatever kind, is now the primary.
  bool storedServer() const { return *m_stored; }

 protected:
  bool onInit() override {
    centreOnScreen();
    SetForegroundWindow(window());
    HWND self = window();
    // The search calls this under its lock and stops calling it once it has
    // handed out its end or been aborted, so it never outlives the window.
    show(m_search->Start([self] { PostMessageA(self, kWakeMessage, 0, 0); }));
    return true;
  }

  // "&Abort", Escape and the close box. When the search has just ended by
  // itself, Abort hands out that end instead, and it is shown as usual.
  void onCancel() override { show(m_search->Abort()); }

  bool onMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) override {
    result = 0;
    if (message == WM_TIMER && wParam == kProbeTimerId) {
      show(m_search->ProbeTimer());
      return true;
    }
    if (message == kWakeMessage) {
      show(m_search->TakeUpdate());
      return true;
    }
    return false;
  }

  void onDestroy() override {
    stopTimer();
    // Probes still out report into a search that has ended; no wake follows.
    m_search->Abort();
  }

 private:
  void show(const AutodetectUpdate& update) {
    // Messages that the final box's own loop dispatches find the dialog ending.
    if (m_ending) return;
    if (update.progressRange != m_shownRange) {
      m_shownRange = update.progressRange;
      SendMessageA(item(IDC_SEARCH_PROGRESS), PBM_SETRANGE32, 0, m_shownRange);
    }
    SendMessageA(item(IDC_SEARCH_PROGRESS), PBM_SETPOS, update.progressPosition, 0);
    if (update.probeAddress != m_shownAddress) {
      m_shownAddress = update.probeAddress;
      setText(IDC_SEARCH_ADDRESS, m_shownAddress);
    }
    if (update.timerNeeded && !update.ends) {
      startTimer();
    } else {
      stopTimer();
    }
    if (!update.ends) return;
    m_ending = true;
    if (!update.boxText.empty()) {
      MessageBoxRequest box;
      box.owner = window();
      box.text = update.boxText;
      box.caption = kAutodetectBoxTitle;
      box.style = BoxOk;
      showMessageBox(box);
    }
    end(update.result);
  }

  void startTimer() {
    if (m_timerRunning) return;
    m_timerRunning = SetTimer(window(), kProbeTimerId, kProbeIntervalMs, nullptr) != 0;
    if (!m_timerRunning) {
      // Without ticks the scan would stand still behind a dialog that waits
      // for Abort.
      ErrorLog::instance().begin(Error) << "Unable to start the search timer" << End;
      show(m_search->Abort());
    }
  }

  void stopTimer() {
    if (!m_timerRunning) return;
    KillTimer(window(), kProbeTimerId);
    m_timerRunning = false;
  }

  std::shared_ptr<std::atomic<bool>> m_stored = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<AutodetectSearch> m_search;
  bool m_timerRunning = false;
  bool m_ending = false;
  int32_t m_shownRange = -1;
  std::string m_shownAddress;
};

}  // namespace

SearchOutcome runServerSearch(HINSTANCE module) {
  // The progress bar's window class.
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  ServerSearchDialog dialog;
  const INT_PTR result = dialog.run(module, IDD_SERVER_SEARCH);
  if (result == -1) {
    ErrorLog::instance().begin(Error)
        << "Unable to show the search dialog: " << lastErrorText() << End;
    return SearchOutcome::NothingStored;
  }
  ErrorLog::instance().begin(Trace)
      << "Local server search ended with " << static_cast<int32_t>(result) << End;
  if (result == 1) return SearchOutcome::ApplianceStored;
  return dialog.storedServer() ? SearchOutcome::ServerStored : SearchOutcome::NothingStored;
}

}  // namespace veltraw
