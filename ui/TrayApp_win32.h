// The program's tray presence: the notification-area icon with its four
// pictures, the popup menu and its commands, and the update timer, around the
// time-keeping core, which reaches them through AppShell.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "app/AppShell.h"
#include "app/SntpClientApp.h"
#include "ui/SystemTrayIcon_win32.h"

namespace veltraw {

class TrayApp : public SystemTrayIcon, public AppShell {
 public:
  // Loads the icons, builds the menu and starts the core. Throws
  // std::runtime_error (window, icons, settings).
  explicit TrayApp(HINSTANCE module);
  ~TrayApp() override;

  SntpClientApp& core() { return *m_core; }

  // AppShell
  void showIcon(int32_t iconId) override;
  void showTip(const std::string& text) override;
  bool startTimer(uint32_t periodMs) override;
  void stopTimer() override;
  void startResyncTimer(uint32_t delayMs) override;
  uint32_t tickCount() override;
  void postQuit() override;
  void* ownerWindow() override { return window(); }
  void openServerSearch() override;
  void statisticsChanged() override;
  void showNotification(const std::string& title, const std::string& text) override;
  void showNotice(const MessageBoxRequest& box) override;

  // SystemTrayIcon
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void onLeftButtonUp() override;
  void onCommand(WPARAM command) override;

 protected:
  void onTaskbarCreated() override;

 private:
  struct Icons;

  void buildMenu();

  DWORD m_threadId;
  std::unique_ptr<Icons> m_icons;
  bool m_timerRunning = false;
  std::deque<MessageBoxRequest> m_notices;  // waiting for the message loop
  std::unique_ptr<SntpClientApp> m_core;
};

}  // namespace veltraw
