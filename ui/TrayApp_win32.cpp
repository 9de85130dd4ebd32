#include "ui/TrayApp_win32.h"

#include <stdexcept>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/Failure.h"
#include "LIB/Time/PrecisionClock.h"
#include "ui/Dialogs_win32.h"
#include "ui/EntryRules.h"
#include "ui/IconIds.h"
#include "ui/TrayMenu.h"

namespace veltraw {

namespace {

constexpr UINT_PTR kUpdateTimerId = 1001;
constexpr UINT_PTR kResyncTimerId = 1002;
// Asks the window's own thread to (re)start the resynchronisation timer, whose
// delay in ms travels in lParam: timers belong to the thread of their window.
constexpr UINT kStartResyncTimer = WM_APP + 1;
// A notice waits in m_notices.
constexpr UINT kShowNotice = WM_APP + 2;

// The core names icons by their resource ids.
static_assert(IconGood == IDI_GOOD && IconNoResponse == IDI_NO_RESPONSE &&
              IconBadReference == IDI_BAD_REFERENCE && IconRequesting == IDI_REQUESTING);

}  // namespace

// The four pictures, loaded at the small-icon size the notification area uses.
struct TrayApp::Icons {
  HICON requesting = nullptr;
  HICON badReference = nullptr;
  HICON noResponse = nullptr;
  HICON good = nullptr;

  explicit Icons(HINSTANCE module) {
    try {
      requesting = load(module, IDI_REQUESTING);
      badReference = load(module, IDI_BAD_REFERENCE);
      noResponse = load(module, IDI_NO_RESPONSE);
      good = load(module, IDI_GOOD);
    } catch (...) {
      release();
      throw;
    }
  }
  ~Icons() { release(); }
  Icons(const Icons&) = delete;
  Icons& operator=(const Icons&) = delete;

  static HICON load(HINSTANCE module, int id) {
    HANDLE icon = LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON,
                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
    if (!icon) throw std::runtime_error(lastErrorText());
    return static_cast<HICON>(icon);
  }

  void release() {
    for (HICON* icon : {&requesting, &badReference, &noResponse, &good}) {
      if (*icon) DestroyIcon(*icon);
      *icon = nullptr;
    }
  }

  HICON byId(int32_t id) const {
    switch (id) {
      case IconRequesting:
        return requesting;
      case IconBadReference:
        return badReference;
      case IconNoResponse:
        return noResponse;
      case IconGood:
        return good;
      default:
        return nullptr;
    }
  }
};

TrayApp::TrayApp(HINSTANCE module)
    : SystemTrayIcon(module, kTrayWindowTitle, nullptr, nullptr),
      m_threadId(GetCurrentThreadId()),
      m_icons(std::make_unique<Icons>(module)) {
  buildMenu();
  try {
    AppServices services;
    services.shell = this;
    services.clock = &PrecisionClock::Instance();
    services.runKey = &RunKey::Platform();
    m_core = std::make_unique<SntpClientApp>(services);
  } catch (...) {
    stopTimer();
    DestroyMenu(menu());
    throw;
  }
}

TrayApp::~TrayApp() {
  // The core fires its stop event and stops the timer through this shell, so
  // it goes while the window and the icon are still whole.
  m_core.reset();
  stopTimer();
  DestroyMenu(menu());
  setMenu(nullptr);
}

void TrayApp::buildMenu() {
  if (menu()) DestroyMenu(menu());
  HMENU popup = CreatePopupMenu();
  if (!popup) throw std::runtime_error(lastErrorText());
  for (const MenuItem& item : trayMenuItems()) {
    if (item.text) {
      AppendMenuA(popup, MF_STRING, static_cast<UINT_PTR>(item.id), item.text);
    } else {
      AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    }
  }
  setMenu(popup);
}

void TrayApp::showIcon(int32_t iconId) { setIcon(m_icons->byId(iconId)); }

void TrayApp::showTip(const std::string& text) {
  // The tooltip is what the user reads; the trace lets a console follow it,
  // its line break shown as " / " so that the entry stays one line.
  if (text != m_icon.tip()) {
    std::string line;
    for (char c : text) line += c == '\r' ? std::string(" / ") : std::string(1, c);
    ErrorLog::instance().begin(Trace) << "Tray tip: " << line << End;
  }
  setTip(text);
}

void TrayApp::showNotification(const std::string& title, const std::string& text) {
  // Logged like the tooltip, so that a console reads what the balloon says.
  ErrorLog::instance().begin(Trace) << "Tray notification: " << title << ": " << text << End;
  showBalloon(title, text);
}

bool TrayApp::startTimer(uint32_t periodMs) {
  m_timerRunning = SetTimer(window(), kUpdateTimerId, periodMs, nullptr) != 0;
  return m_timerRunning;
}

void TrayApp::startResyncTimer(uint32_t delayMs) {
  PostMessageA(window(), kStartResyncTimer, 0, static_cast<LPARAM>(delayMs));
}

uint32_t TrayApp::tickCount() { return GetTickCount(); }

void TrayApp::stopTimer() {
  if (!m_timerRunning) return;
  KillTimer(window(), kUpdateTimerId);
  m_timerRunning = false;
}

void TrayApp::postQuit() {
  if (GetCurrentThreadId() == m_threadId) {
    PostQuitMessage(0);
  } else {
    PostThreadMessageA(m_threadId, WM_QUIT, 0, 0);
  }
}

void TrayApp::openServerSearch() {
  // A server found at the first start, the appliance or any other, is kept
  // in use at once, as one chosen in the Server Configuration dialog is.
  if (runServerSearch(module()) != SearchOutcome::NothingStored && m_core) {
    m_core->applySettings();
    m_core->runUpdateCycle();
  }
}

void TrayApp::statisticsChanged() { refreshStatisticsDialog(); }

void TrayApp::showNotice(const MessageBoxRequest& box) {
  m_notices.push_back(box);
  PostMessageA(window(), kShowNotice, 0, 0);
}

LRESULT TrayApp::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // Ticks that arrive while the core is being made (a box shown during its
  // start runs a message loop) wait for the next period.
  if (message == WM_TIMER && wParam == kUpdateTimerId) {
    if (m_core) m_core->runUpdateCycle();
    return 0;
  }
  switch (message) {
    case kStartResyncTimer:
      SetTimer(window(), kResyncTimerId, static_cast<UINT>(lParam), nullptr);
      return 0;
    case kShowNotice:
      // The box runs a message loop of its own, which dispatches the update
      // timer as the program's loop does.
      if (!m_notices.empty()) {
        const MessageBoxRequest box = m_notices.front();
        m_notices.pop_front();
        showMessageBox(box);
      }
      return 0;
    case WM_TIMER:
      if (wParam != kResyncTimerId) break;
      KillTimer(window(), kResyncTimerId);  // one shot
      if (m_core) m_core->onResyncTimer();
      return 0;
    case WM_POWERBROADCAST:
      // Resumed by the user, or automatically (a wake-up timer, a network
      // wake): the clock may have run on wrongly, or not at all, meanwhile.
      if ((wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) && m_core) {
        m_core->onSystemResumed();
      }
      return TRUE;
    case WM_TIMECHANGE:
      if (m_core) m_core->onSystemTimeChanged();
      return 0;
    default:
      break;
  }
  return SystemTrayIcon::handleMessage(message, wParam, lParam);
}

void TrayApp::onTaskbarCreated() {
  // Request threads change the icon and tooltip under the core's lock; the
  // re-add takes the same lock so that it carries a consistent pair.
  if (!m_core) {
    SystemTrayIcon::onTaskbarCreated();
    return;
  }
  std::lock_guard<std::recursive_mutex> hold(m_core->lock());
  SystemTrayIcon::onTaskbarCreated();
}

void TrayApp::onLeftButtonUp() {
  if (m_core) openStatisticsDialog(module(), *m_core);
}

void TrayApp::onCommand(WPARAM command) {
  const int32_t id = commandId(command);
  ErrorLog::instance().begin(Trace) << "ComandNotification(" << id << ")" << End;
  switch (commandAction(id)) {
    case CommandAction::About:
      runAbout(module());
      break;
    case CommandAction::Exit:
      if (runExit(module()) && m_core) m_core->exitApplication();
      break;
    case CommandAction::Statistics:
      onLeftButtonUp();
      break;
    case CommandAction::ServerSettings:
      if (runServerDialog(module()) && m_core) {
        m_core->applySettings();
        m_core->runUpdateCycle();
      }
      break;
    case CommandAction::LoggingSettings:
      if (runLogSettingsDialog(module()) && m_core) m_core->applySettings();
      break;
    case CommandAction::MonitorSettings:
      runMonitorSettingsDialog(module());
      break;
    case CommandAction::TestPackets:
      runTestPacketsDialog(module());
      break;
    case CommandAction::UpdateNow:
      if (m_core) m_core->runUpdateCycle();
      break;
    case CommandAction::None:
      break;
  }
}

}  // namespace veltraw
