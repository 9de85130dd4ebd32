// Overlapped pipe I/O with a limit: the service and its client both wait for
// a peer they do not trust, so no read, write or connect waits for ever.
#pragma once

#include <windows.h>

namespace veltraw {

// An event-carrying OVERLAPPED for one operation at a time.
class Overlapped {
 public:
  Overlapped() { m_overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() {
    if (m_overlapped.hEvent) CloseHandle(m_overlapped.hEvent);
  }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;

  bool valid() const { return m_overlapped.hEvent != nullptr; }
  // Ready for the next operation.
  OVERLAPPED* reset() {
    HANDLE event = m_overlapped.hEvent;
    m_overlapped = OVERLAPPED{};
    m_overlapped.hEvent = event;
    ResetEvent(event);
    return &m_overlapped;
  }

  // Finishes the operation just started on handle (started: what the call
  // returned) within waitMs, or earlier when stop is signalled. On a timeout
  // or a stop the operation is cancelled, and waited for, so that its buffer
  // may go. False then, and for a failed operation (GetLastError says why).
  bool finish(HANDLE handle, BOOL started, DWORD waitMs, DWORD& bytes, HANDLE stop = nullptr) {
    bytes = 0;
    if (!started) {
      const DWORD error = GetLastError();
      // A client that connected before the wait began.
      if (error == ERROR_PIPE_CONNECTED) return true;
      if (error != ERROR_IO_PENDING) return false;
      const HANDLE events[] = {m_overlapped.hEvent, stop};
      const DWORD woke = WaitForMultipleObjects(stop ? 2 : 1, events, FALSE, waitMs);
      if (woke != WAIT_OBJECT_0) {
        CancelIoEx(handle, &m_overlapped);
        GetOverlappedResult(handle, &m_overlapped, &bytes, TRUE);
        SetLastError(woke == WAIT_TIMEOUT ? ERROR_TIMEOUT : ERROR_OPERATION_ABORTED);
        return false;
      }
    }
    return GetOverlappedResult(handle, &m_overlapped, &bytes, FALSE) != FALSE;
  }

 private:
  OVERLAPPED m_overlapped{};
};

// Closes a handle at the end of its scope.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : m_handle(handle) {}
  ~ScopedHandle() {
    if (valid()) CloseHandle(m_handle);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
  HANDLE get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

// The same for the service control manager's handles.
class ScopedServiceHandle {
 public:
  explicit ScopedServiceHandle(SC_HANDLE handle) : m_handle(handle) {}
  ~ScopedServiceHandle() {
    if (m_handle) CloseServiceHandle(m_handle);
  }
  ScopedServiceHandle(const ScopedServiceHandle&) = delete;
  ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
  SC_HANDLE get() const { return m_handle; }

 private:
  SC_HANDLE m_handle;
};

}  // namespace veltraw
