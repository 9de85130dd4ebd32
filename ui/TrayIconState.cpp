#include "ui/TrayIconState.h"

namespace veltraw {

NotifyRequest TrayIconState::setIcon(const void* icon) {
  m_icon = icon;
  NotifyRequest request;
  if (!icon) return request;
  request.action = m_added ? NotifyAction::Modify : NotifyAction::Add;
  request.icon = icon;
  request.tip = notifyTipText(m_tip);
  m_added = true;
  return request;
}

NotifyRequest TrayIconState::setTip(const std::string& text) {
  m_tip = text;
  return setIcon(m_icon);
}

NotifyRequest TrayIconState::taskbarCreated() {
  m_added = false;
  return setIcon(m_icon);
}

NotifyRequest TrayIconState::remove() {
  NotifyRequest request;
  request.action = NotifyAction::Delete;
  return request;
}

std::string notifyTipText(const std::string& tip) {
  return tip.substr(0, TrayIconState::kTipLength);
}

}  // namespace veltraw
