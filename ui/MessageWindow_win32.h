// A hidden top-level window bound to one object: the window procedure finds
// the object in the window's user data and hands it every message.
#pragma once

#include <windows.h>

#include <string>

namespace veltraw {

class MessageWindow {
 public:
  // Registers the class when this is the first live window, then creates the
  // hidden window. Throws std::runtime_error with the Windows error text.
  MessageWindow(HINSTANCE module, const char* className, const std::string& title);
  virtual ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HWND window() const { return m_window; }
  HINSTANCE module() const { return m_module; }

 private:
  static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void releaseClass();

  HINSTANCE m_module;
  HWND m_window = nullptr;
};

// What every Win32 callback of the program does with an escaping exception:
// keep it and end the message loop (CallbackGuard.h).
void quitForCallbackException();

}  // namespace veltraw
