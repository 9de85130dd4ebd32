// A client of the clock service for the end-to-end tests: asks as the tray
// does, or behaves badly on the pipe.
//   service-client ask SERVER         the answer on one line
//   service-client garbage|half       a message that is not a request
//   service-client silent MS          connects and says nothing for MS ms
//   service-client many COUNT MS      COUNT connections at once, held MS ms
//   service-client squat              serves the pipe's name itself, forging an answer
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "service/ServiceMessage.h"

namespace {

// waitMs: how long to wait for a busy pipe, once.
HANDLE connect(DWORD waitMs) {
  HANDLE pipe = CreateFileA(veltraw::kClockServicePipe, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (pipe != INVALID_HANDLE_VALUE || waitMs == 0 || GetLastError() != ERROR_PIPE_BUSY) return pipe;
  WaitNamedPipeA(veltraw::kClockServicePipe, waitMs);
  return connect(0);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace veltraw;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "ask" && argc == 3) {
    ClockServiceRequest request;
    request.server = argv[2];
    request.trayOffsetMs = 123;
    const ClockServiceAnswer a = AskClockService(request);
    const char* names[] = {"Absent", "Stepped", "NotStepped", "Refused", "Failed"};
    std::printf("outcome %s status %d offset %lld us round trip %lld us: %s\n",
                names[static_cast<int>(a.outcome)], static_cast<int>(a.status),
                static_cast<long long>(a.offsetUs), static_cast<long long>(a.roundTripUs),
                a.text.c_str());
    return 0;
  }
  if ((mode == "garbage" || mode == "half") && argc == 2) {
    HANDLE pipe = connect(10000);
    if (pipe == INVALID_HANDLE_VALUE) return 1;
    uint8_t message[kRequestSize];
    ClockServiceRequest request;
    request.server = "garbage";
    WriteRequest(request, message);
    if (mode == "garbage") std::memset(message, 0xA5, sizeof message);
    DWORD bytes = 0;
    WriteFile(pipe, message, mode == "half" ? kRequestSize / 2 : kRequestSize, &bytes, nullptr);
    CloseHandle(pipe);  // without reading the answer
    return 0;
  }
  if ((mode == "silent" && argc == 3) || (mode == "many" && argc == 4)) {
    const int count = mode == "many" ? std::atoi(argv[2]) : 1;
    std::vector<HANDLE> pipes;
    for (int i = 0; i < count; ++i) {
      HANDLE pipe = connect(0);
      if (pipe != INVALID_HANDLE_VALUE) pipes.push_back(pipe);
    }
    std::printf("%u connected\n", static_cast<unsigned>(pipes.size()));
    Sleep(static_cast<DWORD>(std::atoi(argv[argc - 1])));
    for (HANDLE pipe : pipes) CloseHandle(pipe);
    return 0;
  }
  if (mode == "squat" && argc == 2) {
    // Takes the pipe's name while no service holds it and answers "stepped"
    // to the first client.
    HANDLE pipe = CreateNamedPipeA(kClockServicePipe, PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, kAnswerSize,
                                   kRequestSize, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 1;
    std::printf("listening\n");
    std::fflush(stdout);
    ConnectNamedPipe(pipe, nullptr);
    ClockServiceAnswer forged;
    forged.outcome = ClockServiceOutcome::Stepped;
    uint8_t message[kAnswerSize];
    WriteAnswer(forged, message);
    DWORD bytes = 0;
    WriteFile(pipe, message, sizeof message, &bytes, nullptr);
    CloseHandle(pipe);
    return 0;
  }
  std::fprintf(
      stderr,
      "usage: service-client ask SERVER | garbage | half | silent MS | many N MS | squat\n");
  return 2;
}
