#include "ui/SystemTrayIcon_win32.h"

#include <shellapi.h>

#include <cstring>

#include "ui/EntryRules.h"

namespace veltraw {

namespace {

// Registered before the entry runs, as the shell may announce the taskbar at
// any time after the window exists.
const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");

constexpr UINT kIconCallbackMessage = WM_USER;

}  // namespace

UINT taskbarCreatedMessage() { return taskbarCreated; }

SystemTrayIcon::SystemTrayIcon(HINSTANCE module, const std::string& title, const char* tip,
                               HICON icon)
    : MessageWindow(module, kTrayWindowClass, title) {
  if (tip) setTip(tip);
  if (icon) setIcon(icon);
}

SystemTrayIcon::~SystemTrayIcon() { removeIcon(); }

bool SystemTrayIcon::send(const NotifyRequest& request) {
  // The first, short layout of the record: every shell version takes it.
  NOTIFYICONDATAA data;
  std::memset(&data, 0, sizeof data);
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window();
  data.uID = 0;
  DWORD action = NIM_DELETE;
  switch (request.action) {
    case NotifyAction::None:
      return false;
    case NotifyAction::Add:
      action = NIM_ADD;
      break;
    case NotifyAction::Modify:
      action = NIM_MODIFY;
      break;
    case NotifyAction::Delete:
      action = NIM_DELETE;
      break;
  }
  if (request.action == NotifyAction::Delete) {
    data.uFlags = NIF_MESSAGE;
  } else {
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kIconCallbackMessage;
    data.hIcon = static_cast<HICON>(const_cast<void*>(request.icon));
    std::strncpy(data.szTip, request.tip.c_str(), TrayIconState::kTipLength);
    data.szTip[TrayIconState::kTipLength] = '\0';
  }
  return Shell_NotifyIconA(action, &data) != FALSE;
}

bool SystemTrayIcon::setIcon(HICON icon) { return send(m_icon.setIcon(icon)); }

bool SystemTrayIcon::setTip(const std::string& text) { return send(m_icon.setTip(text)); }

bool SystemTrayIcon::showBalloon(const std::string& title, const std::string& text) {
  if (!m_icon.added()) return false;
  // Balloons need the second layout of the record; only the balloon fields
  // are sent, so the icon and the tooltip stay as they are.
  NOTIFYICONDATAA data;
  std::memset(&data, 0, sizeof data);
  data.cbSize = NOTIFYICONDATAA_V2_SIZE;
  data.hWnd = window();
  data.uID = 0;
  data.uFlags = NIF_INFO;
  std::strncpy(data.szInfoTitle, title.c_str(), sizeof data.szInfoTitle - 1);
  std::strncpy(data.szInfo, text.c_str(), sizeof data.szInfo - 1);
  data.dwInfoFlags = NIIF_WARNING;
  return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void SystemTrayIcon::removeIcon() { send(m_icon.remove()); }

void SystemTrayIcon::onTaskbarCreated() { send(m_icon.taskbarCreated()); }

void SystemTrayIcon::showMenu() {
  if (!m_menu) return;
  POINT position = {};
  GetCursorPos(&position);
  // Without the foreground the menu would not close when the user clicks
  // elsewhere; the WM_NULL afterwards lets it finish cleanly.
  SetForegroundWindow(window());
  TrackPopupMenu(m_menu, TPM_RIGHTBUTTON, position.x, position.y, 0, window(), nullptr);
  PostMessageA(window(), WM_NULL, 0, 0);
}

LRESULT SystemTrayIcon::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    onCommand(wParam);
  } else if (message == kIconCallbackMessage) {
    switch (static_cast<UINT>(lParam)) {
      case WM_LBUTTONDOWN:
        onLeftButtonDown();
        break;
      case WM_LBUTTONUP:
        onLeftButtonUp();
        break;
      case WM_RBUTTONDOWN:
        onRightButtonDown();
        break;
      case WM_RBUTTONUP:
        onRightButtonUp();
        break;
      default:
        break;  // moves and double clicks
    }
  } else if (message == taskbarCreated && taskbarCreated != 0) {
    onTaskbarCreated();
  }
  return MessageWindow::handleMessage(message, wParam, lParam);
}

}  // namespace veltraw
