// The notification-area icon as plain state: which request (add, modify,
// delete) each change needs and with what icon and tooltip. The tray window
// carries the requests out; tests read them.
#pragma once

#include <cstddef>
#include <string>

namespace veltraw {

enum class NotifyAction { None, Add, Modify, Delete };

// One request for the notification area. icon is the platform's icon handle.
struct NotifyRequest {
  NotifyAction action = NotifyAction::None;
  const void* icon = nullptr;
  std::string tip;  // at most kTipLength characters
};

class TrayIconState {
 public:
  // The platform's tooltip field holds 64 characters with the terminator.
  static constexpr std::size_t kTipLength = 63;

  // Makes icon current. With no icon nothing is sent (None). Otherwise an add
  // while the icon is not added, a modify once it is; the icon counts as added
  // from here on even if the platform refuses, so that a refused add is
  // retried only when the taskbar announces itself again.
  NotifyRequest setIcon(const void* icon);
  // Stores the tooltip and resends the current icon so that it shows at once.
  NotifyRequest setTip(const std::string& text);
  // The taskbar was (re)created: it knows no icon of ours any more.
  NotifyRequest taskbarCreated();
  NotifyRequest remove();

  const std::string& tip() const { return m_tip; }
  const void* icon() const { return m_icon; }
  bool added() const { return m_added; }

 private:
  std::string m_tip;
  const void* m_icon = nullptr;
  bool m_added = false;
};

// The text that fits the platform's tooltip field.
std::string notifyTipText(const std::string& tip);

}  // namespace veltraw
