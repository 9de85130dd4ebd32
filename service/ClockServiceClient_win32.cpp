// The tray's side of the clock service's pipe. Every wait is bounded, and the
// pipe's server must be the process the service control manager runs as the
// service: a program that took the pipe's name is not asked.
#include <windows.h>

#include <chrono>

#include "LIB/Log/Failure.h"
#include "service/ClockServiceClient.h"
#include "service/PipeIo_win32.h"
#include "service/ServiceMessage.h"
#include "sntp/NtpResult.h"

namespace veltraw {

namespace {

// Waiting for a pipe instance that other clients hold, writing the request
// and the service's own work on it (name resolution and a request series).
constexpr DWORD kConnectWaitMs = 3000;
constexpr DWORD kWriteWaitMs = 2000;
constexpr DWORD kAnswerWaitMs = 12000;

ClockServiceAnswer withOutcome(ClockServiceOutcome outcome, const std::string& text) {
  ClockServiceAnswer answer;
  answer.outcome = outcome;
  answer.status = Failed;  // the service measured nothing
  answer.text = text;
  return answer;
}

// The process id of the running service; 0 when it does not run.
DWORD serviceProcessId() {
  ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.get()) return 0;
  ScopedServiceHandle service(OpenServiceA(manager.get(), kClockServiceName, SERVICE_QUERY_STATUS));
  if (!service.get()) return 0;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                            sizeof status, &needed) ||
      status.dwCurrentState != SERVICE_RUNNING) {
    return 0;
  }
  return status.dwProcessId;
}

// The pipe, once an instance is free; INVALID_HANDLE_VALUE with the reason.
HANDLE openPipe(DWORD& error) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectWaitMs);
  for (;;) {
    // Read and write, not the right to make instances of the pipe. The
    // service may learn who asks, not act as the user.
    HANDLE pipe = CreateFileA(
        kClockServicePipe, GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0, nullptr,
        OPEN_EXISTING, FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
        nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    error = GetLastError();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (error != ERROR_PIPE_BUSY || left <= 0) return INVALID_HANDLE_VALUE;
    // Returns when an instance is free or the time is up; a taker may still
    // come first, so the open is tried again.
    WaitNamedPipeA(kClockServicePipe, static_cast<DWORD>(left));
  }
}

}  // namespace

ClockServiceAnswer AskClockService(const ClockServiceRequest& request) {
  DWORD error = 0;
  ScopedHandle pipe(openPipe(error));
  if (!pipe.valid()) {
    if (error == ERROR_PIPE_BUSY || error == ERROR_SEM_TIMEOUT) {
      return withOutcome(ClockServiceOutcome::Refused, "The clock service is busy");
    }
    return withOutcome(ClockServiceOutcome::Absent, windowsErrorText(error));
  }
  ULONG serverProcess = 0;
  const DWORD serviceProcess = serviceProcessId();
  if (!GetNamedPipeServerProcessId(pipe.get(), &serverProcess) || serviceProcess == 0 ||
      serverProcess != serviceProcess) {
    return withOutcome(ClockServiceOutcome::Absent,
                       "The clock service's pipe is served by another program");
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  Overlapped io;
  uint8_t message[kRequestSize];
  WriteRequest(request, message);
  uint8_t reply[kAnswerSize + 1];
  DWORD bytes = 0;
  if (!io.valid() || !SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr) ||
      !io.finish(pipe.get(), WriteFile(pipe.get(), message, sizeof message, nullptr, io.reset()),
                 kWriteWaitMs, bytes) ||
      !io.finish(pipe.get(), ReadFile(pipe.get(), reply, sizeof reply, nullptr, io.reset()),
                 kAnswerWaitMs, bytes)) {
    return withOutcome(ClockServiceOutcome::Refused,
                       "The clock service did not answer: " + lastErrorText());
  }
  ClockServiceAnswer answer;
  const MessageFault fault = ReadAnswer(reply, bytes, answer);
  if (fault != MessageFault::None) {
    return withOutcome(
        ClockServiceOutcome::Refused,
        std::string("The clock service's answer is unreadable: ") + MessageFaultText(fault));
  }
  return answer;
}

}  // namespace veltraw
