#include "ui/ModalDialog_win32.h"

#include <vector>

#include "ui/CallbackGuard.h"
#include "ui/MessageWindow_win32.h"

namespace veltraw {

INT_PTR ModalDialog::run(HINSTANCE module, int templateId, HWND owner) {
  m_module = module;
  return DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), owner, procedure,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ModalDialog::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<ModalDialog*>(lParam);
    dialog->m_window = window;
    SetWindowLongPtrA(window, DWLP_USER, lParam);
  }
  auto* dialog = reinterpret_cast<ModalDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  // Messages before WM_INITDIALOG (WM_SETFONT) belong to the system.
  if (!dialog) return FALSE;

  INT_PTR result = FALSE;
  const bool ok = guardCallback([&] { result = dialog->dispatch(message, wParam, lParam); },
                                quitForCallbackException);
  if (!ok) {
    // The kept exception ends the program; the dialog must not stay open.
    EndDialog(window, IDCANCEL);
    return TRUE;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    dialog->m_window = nullptr;
  }
  return result;
}

INT_PTR ModalDialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return onInit() ? TRUE : FALSE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDOK) {
        onOK();
        return TRUE;
      }
      if (id == IDCANCEL) {  // Cancel, Escape and the close box
        onCancel();
        return TRUE;
      }
      return onCommand(id, HIWORD(wParam)) ? TRUE : FALSE;
    }
    case WM_DESTROY:
      onDestroy();
      return FALSE;
    default: {
      INT_PTR result = FALSE;
      if (!onMessage(message, wParam, lParam, result)) return FALSE;
      // Dialog procedures return most results through DWLP_MSGRESULT.
      SetWindowLongPtrA(m_window, DWLP_MSGRESULT, result);
      return TRUE;
    }
  }
}

void ModalDialog::end(INT_PTR result) { EndDialog(m_window, result); }

std::string ModalDialog::text(int controlId, size_t maxLength) const {
  std::vector<char> buffer(maxLength + 1, '\0');
  const UINT length =
      GetDlgItemTextA(m_window, controlId, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), length);
}

void ModalDialog::setText(int controlId, const std::string& text) {
  SetDlgItemTextA(m_window, controlId, text.c_str());
}

bool ModalDialog::checked(int controlId) const {
  return IsDlgButtonChecked(m_window, controlId) == BST_CHECKED;
}

void ModalDialog::setChecked(int controlId, bool checked) {
  CheckDlgButton(m_window, controlId, checked ? BST_CHECKED : BST_UNCHECKED);
}

void ModalDialog::focus(int controlId) {
  // WM_NEXTDLGCTL also moves the default button along, as a tab would.
  SendMessageA(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(controlId)), TRUE);
}

void ModalDialog::centreOnScreen() {
  POINT centre = {GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
  centreOn(centre);
}

void ModalDialog::centreOnMouse() {
  POINT mouse = {};
  GetCursorPos(&mouse);
  centreOn(mouse);
}

void ModalDialog::centreOn(POINT point) {
  RECT frame = {};
  GetWindowRect(m_window, &frame);
  const LONG width = frame.right - frame.left;
  const LONG height = frame.bottom - frame.top;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoA(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& area = monitor.rcWork;
  LONG left = point.x - width / 2;
  LONG top = point.y - height / 2;
  // Near the notification area the mouse sits at the screen's edge.
  if (left + width > area.right) left = area.right - width;
  if (top + height > area.bottom) top = area.bottom - height;
  if (left < area.left) left = area.left;
  if (top < area.top) top = area.top;
  SetWindowPos(m_window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

}  // namespace veltraw
