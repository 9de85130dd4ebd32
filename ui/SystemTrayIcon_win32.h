// The notification-area icon of a hidden window: its picture, its tooltip,
// its popup menu, and the mouse actions on it as virtual calls.
#pragma once

#include <windows.h>

#include <string>

#include "ui/MessageWindow_win32.h"
#include "ui/TrayIconState.h"

namespace veltraw {

class SystemTrayIcon : public MessageWindow {
 public:
  // tip and icon may be null: nothing is shown until an icon is set.
  SystemTrayIcon(HINSTANCE module, const std::string& title, const char* tip, HICON icon);
  ~SystemTrayIcon() override;

  // Makes icon current and adds or modifies the notification-area icon; false
  // when there is no icon or the shell refused. Callers that share the icon
  // with other threads serialise these calls themselves.
  bool setIcon(HICON icon);
  bool setTip(const std::string& text);
  void removeIcon();
  // A warning balloon from the icon; nothing while the icon is not added.
  // Serialised with setIcon and setTip like them.
  bool showBalloon(const std::string& title, const std::string& text);
  // Opens the menu at the mouse position; the chosen command arrives as WM_COMMAND.
  void showMenu();

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  virtual void onLeftButtonDown() {}
  virtual void onLeftButtonUp() {}
  virtual void onRightButtonDown() {}
  virtual void onRightButtonUp() { showMenu(); }
  virtual void onCommand(WPARAM /*command*/) {}

 protected:
  void setMenu(HMENU menu) { m_menu = menu; }
  HMENU menu() const { return m_menu; }
  // The taskbar was restarted: add the icon again with the current tooltip.
  virtual void onTaskbarCreated();
  bool send(const NotifyRequest& request);

  TrayIconState m_icon;

 private:
  HMENU m_menu = nullptr;
};

// The message the shell broadcasts when the taskbar is (re)created.
UINT taskbarCreatedMessage();

}  // namespace veltraw
