// Owners of GDI handles, one per kind: an object the program made (pen,
// brush), an object selected into a device context for a scope, a device
// context's state kept for a scope, and a window's device context.
#pragma once

#include <windows.h>

#include <utility>

namespace veltraw {

// A pen or brush made by the program, deleted with its owner.
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(HGDIOBJ object) : m_object(object) {}
  ~GdiObject() { reset(); }
  GdiObject(GdiObject&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      reset();
      m_object = std::exchange(other.m_object, nullptr);
    }
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  HGDIOBJ get() const { return m_object; }

 private:
  void reset() {
    if (m_object) DeleteObject(m_object);
    m_object = nullptr;
  }

  HGDIOBJ m_object = nullptr;
};

// An object selected into a device context until the end of the scope; the
// one it replaced goes back, so that nothing of ours stays selected when the
// object is deleted.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object)
      : m_dc(dc), m_previous(object ? SelectObject(dc, object) : nullptr) {}
  ~SelectedObject() {
    if (m_previous && m_previous != HGDI_ERROR) SelectObject(m_dc, m_previous);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_previous;
};

// The context's selections, colours, modes, alignment and clipping as they
// were, back at the end of the scope; for a context someone else owns.
class SavedDcState {
 public:
  explicit SavedDcState(HDC dc) : m_dc(dc), m_saved(SaveDC(dc)) {}
  ~SavedDcState() {
    if (m_saved) RestoreDC(m_dc, m_saved);
  }
  SavedDcState(const SavedDcState&) = delete;
  SavedDcState& operator=(const SavedDcState&) = delete;

 private:
  HDC m_dc;
  int m_saved;
};

// A window's device context, released with its owner.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : m_window(window), m_dc(GetDC(window)) {}
  ~WindowDc() {
    if (m_dc) ReleaseDC(m_window, m_dc);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC get() const { return m_dc; }

 private:
  HWND m_window;
  HDC m_dc;
};

}  // namespace veltraw
