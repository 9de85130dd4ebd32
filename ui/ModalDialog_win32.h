// The base of every dialog of the program: a modal dialog made from a
// resource template, with `this` stored with the window when it is created
// and messages routed to virtual handlers.
//
// A dialog is its model (a plain class in ui/, tested natively, that loads,
// edits, tests and stores) plus a small class derived from ModalDialog that
// copies the model to the controls in onInit and back in onOK. No C++
// exception crosses the dialog procedure: one that escapes a handler is kept
// (see CallbackGuard.h), the dialog ends, and the program reports it after its
// message loop.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace veltraw {

class ModalDialog {
 public:
  ModalDialog() = default;
  virtual ~ModalDialog() = default;
  ModalDialog(const ModalDialog&) = delete;
  ModalDialog& operator=(const ModalDialog&) = delete;

  // Shows the dialog and returns when it has ended: the value given to end()
  // (IDOK for OK, IDCANCEL for Cancel, Escape or the close box), or -1 when
  // the dialog could not be made.
  INT_PTR run(HINSTANCE module, int templateId, HWND owner = nullptr);

  HWND window() const { return m_window; }
  HINSTANCE module() const { return m_module; }

 protected:
  // WM_INITDIALOG. Return false after moving the focus yourself.
  virtual bool onInit() { return true; }
  // A WM_COMMAND other than IDOK and IDCANCEL; true when handled.
  virtual bool onCommand(int /*controlId*/, int /*notification*/) { return false; }
  virtual void onOK() { end(IDOK); }
  virtual void onCancel() { end(IDCANCEL); }
  // Every other message (timers, owner drawing, results posted by other
  // threads); true when handled, with the procedure's result in result.
  virtual bool onMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                         INT_PTR& /*result*/) {
    return false;
  }
  // The window is about to go: the last moment to stop timers and to cut
  // other threads off from it.
  virtual void onDestroy() {}

  void end(INT_PTR result);

  HWND item(int controlId) const { return GetDlgItem(m_window, controlId); }
  // The control's text, at most maxLength characters of it.
  std::string text(int controlId, size_t maxLength) const;
  void setText(int controlId, const std::string& text);
  bool checked(int controlId) const;
  void setChecked(int controlId, bool checked);
  void focus(int controlId);

  // Centred on the screen, or on the mouse pointer (next to the notification
  // area); kept inside the work area of the monitor either way.
  void centreOnScreen();
  void centreOnMouse();

 private:
  static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  void centreOn(POINT point);

  HWND m_window = nullptr;
  HINSTANCE m_module = nullptr;
};

}  // namespace veltraw
