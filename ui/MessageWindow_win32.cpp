#include "ui/MessageWindow_win32.h"

#include <stdexcept>

#include "LIB/Log/Failure.h"
#include "ui/CallbackGuard.h"
#include "ui/EntryRules.h"

namespace veltraw {

namespace {
// Windows live on the main thread only, so the count needs no lock.
int liveWindows = 0;
std::string registeredClass;
}  // namespace

void quitForCallbackException() { PostQuitMessage(ExitException); }

MessageWindow::MessageWindow(HINSTANCE module, const char* className, const std::string& title)
    : m_module(module) {
  if (liveWindows == 0) {
    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = module;
    windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = className;
    if (!RegisterClassA(&windowClass)) throw std::runtime_error(lastErrorText());
    registeredClass = className;
  }
  ++liveWindows;
  m_window = CreateWindowA(className, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                           nullptr, module, this);
  if (!m_window) {
    const std::string text = lastErrorText();
    releaseClass();
    throw std::runtime_error(text);
  }
}

MessageWindow::~MessageWindow() {
  // Unbind first: what the window receives while it is destroyed must not
  // reach an object that is half gone.
  SetWindowLongPtrA(m_window, GWLP_USERDATA, 0);
  DestroyWindow(m_window);
  releaseClass();
}

void MessageWindow::releaseClass() {
  if (--liveWindows == 0) {
    UnregisterClassA(registeredClass.c_str(), m_module);
    registeredClass.clear();
  }
}

LRESULT MessageWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(m_window, message, wParam, lParam);
}

LRESULT CALLBACK MessageWindow::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    auto* self = static_cast<MessageWindow*>(creation->lpCreateParams);
    self->m_window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return DefWindowProcA(window, message, wParam, lParam);
  }
  auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  LRESULT result = 0;
  guardCallback([&] { result = self->handleMessage(message, wParam, lParam); },
                quitForCallbackException);
  return result;
}

}  // namespace veltraw
