// The service's pipe: one instance, made first so that no other program can
// own the name, serving one client at a time. Every step with a client has a
// limit, so a client that sends nothing, half a message or garbage, or that
// never reads its answer, holds the pipe for a few seconds at most.
#include <windows.h>
// Needs the types of windows.h.
#include <sddl.h>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/Failure.h"
#include "service/PipeIo_win32.h"
#include "service/ServiceParts_win32.h"

namespace veltraw {

namespace {

// How long a client may take to send its request, to take its answer, and
// to close its end once answered.
constexpr DWORD kRequestWaitMs = 2000;
constexpr DWORD kAnswerWaitMs = 2000;
constexpr DWORD kCloseWaitMs = 2000;

// Network logons never; SYSTEM and administrators in full; interactive users
// may read and write (FILE_GENERIC_READ, FILE_WRITE_DATA and
// FILE_WRITE_ATTRIBUTES for the message mode) but not make instances.
constexpr char kPipeSddl[] = "D:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12018b;;;IU)";

ErrorLog& Log(int32_t level) { return ErrorLog::instance().begin(level); }

// One client, from its connection to its end.
void serveClient(HANDLE pipe, HANDLE stop, ClockRequestHandler& handler, Overlapped& io) {
  uint8_t request[kRequestSize];
  DWORD bytes = 0;
  if (!io.finish(pipe, ReadFile(pipe, request, sizeof request, nullptr, io.reset()), kRequestWaitMs,
                 bytes, stop)) {
    // ERROR_MORE_DATA: a message longer than any request.
    Log(Warning) << "Dropped a client: no request (" << lastErrorText() << ")" << End;
    return;
  }
  uint8_t answer[kAnswerSize];
  handler.Answer(request, bytes, answer);
  if (!io.finish(pipe, WriteFile(pipe, answer, sizeof answer, nullptr, io.reset()), kAnswerWaitMs,
                 bytes, stop)) {
    Log(Warning) << "Dropped a client: the answer was not taken (" << lastErrorText() << ")" << End;
    return;
  }
  // Disconnecting discards an answer not yet read: wait until the client
  // has closed its end (the read then fails), or until it is too late.
  uint8_t more[1];
  io.finish(pipe, ReadFile(pipe, more, sizeof more, nullptr, io.reset()), kCloseWaitMs, bytes,
            stop);
}

}  // namespace

bool ServePipe(ClockRequestHandler& handler, HANDLE stop, const std::function<void()>& beforeEach) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kPipeSddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    Log(Fatal) << "Unable to build the pipe's security descriptor: " << lastErrorText() << End;
    return false;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  ScopedHandle pipe(CreateNamedPipeA(
      kClockServicePipe, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
      kAnswerSize, kRequestSize, 0, &attributes));
  const std::string createError = lastErrorText();
  LocalFree(descriptor);
  if (!pipe.valid()) {
    Log(Fatal) << "Unable to create the pipe " << kClockServicePipe << ": " << createError << End;
    return false;
  }
  Overlapped io;
  if (!io.valid()) {
    Log(Fatal) << "Unable to create an event: " << lastErrorText() << End;
    return false;
  }
  Log(Detail) << "Serving " << kClockServicePipe << End;
  // The one instance lives as long as the service: between clients it is
  // disconnected and waits again, so the name is never free to take.
  while (WaitForSingleObject(stop, 0) != WAIT_OBJECT_0) {
    DWORD bytes = 0;
    if (!io.finish(pipe.get(), ConnectNamedPipe(pipe.get(), io.reset()), INFINITE, bytes, stop)) {
      const DWORD error = GetLastError();
      if (error == ERROR_OPERATION_ABORTED) break;  // stopping
      // ERROR_NO_DATA: a client that came and went before the wait.
      if (error != ERROR_NO_DATA) {
        Log(Warning) << "Waiting for a client failed: " << windowsErrorText(error) << End;
        if (WaitForSingleObject(stop, 1000) == WAIT_OBJECT_0) break;
      }
      DisconnectNamedPipe(pipe.get());
      continue;
    }
    beforeEach();
    serveClient(pipe.get(), stop, handler, io);
    DisconnectNamedPipe(pipe.get());
  }
  Log(Detail) << "Pipe closed" << End;
  return true;
}

}  // namespace veltraw
