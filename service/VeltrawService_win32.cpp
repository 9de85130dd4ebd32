// VeltrawService.exe: the clock service. It holds the right to set the clock
// and does one thing with it: on a request through its pipe it measures the
// named server itself and steps the clock by the rules of ClockRequestHandler.
//   VeltrawService -install   registers (or updates) the service and starts it
//   VeltrawService -stop      stops the service (an installer, before it
//                             replaces this program)
//   VeltrawService -remove    stops the service and removes it
// Without arguments it runs under the service control manager.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/Failure.h"
#include "LIB/Log/LogSinks.h"
#include "LIB/Time/PrecisionClock.h"
#include "service/ServiceParts_win32.h"

namespace veltraw {

namespace {

// The log moves aside to service.log.old beyond this size, so that the two
// together stay below twice as much.
constexpr ULONGLONG kMaxLogBytes = 1024 * 1024;
constexpr DWORD kStartWaitHintMs = 5000;
// A request being served when the stop comes takes this long at most.
constexpr DWORD kStopWaitHintMs = 20000;

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};
HANDLE g_stop = nullptr;

void report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHintMs = 0) {
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  g_status.dwWin32ExitCode = exitCode;
  g_status.dwWaitHint = waitHintMs;
  g_status.dwCheckPoint =
      state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : g_status.dwCheckPoint + 1;
  SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI control(DWORD code, DWORD, void*, void*) {
  switch (code) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      report(SERVICE_STOP_PENDING, NO_ERROR, kStopWaitHintMs);
      SetEvent(g_stop);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// The service's own log file, kept to a bounded size.
class ServiceLogFile {
 public:
  explicit ServiceLogFile(const std::string& path) : m_path(path) { open(); }
  ~ServiceLogFile() { close(); }
  ServiceLogFile(const ServiceLogFile&) = delete;
  ServiceLogFile& operator=(const ServiceLogFile&) = delete;

  void keepBounded() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(m_path.c_str(), GetFileExInfoStandard, &data)) return;
    if ((ULONGLONG{data.nFileSizeHigh} << 32 | data.nFileSizeLow) <= kMaxLogBytes) return;
    close();
    MoveFileExA(m_path.c_str(), (m_path + ".old").c_str(), MOVEFILE_REPLACE_EXISTING);
    open();
  }

 private:
  void open() {
    try {
      m_sink = std::make_unique<FileLogSink>(m_path, true);
      ErrorLog::instance().addSink(m_sink.get());
    } catch (const std::runtime_error&) {
      m_sink.reset();  // the event log still hears of steps and refusals
    }
  }
  void close() {
    if (!m_sink) return;
    ErrorLog::instance().removeSink(m_sink.get());
    m_sink.reset();
  }

  std::string m_path;
  std::unique_ptr<FileLogSink> m_sink;
};

// Steps, refusals and failures (the entries from Warning up) also go to the
// system's event log, where there is one.
class EventLogSink : public LogSink {
 public:
  EventLogSink() : LogSink(false), m_source(RegisterEventSourceA(nullptr, kClockServiceName)) {
    level = Warning;
    if (m_source) ErrorLog::instance().addSink(this);
  }
  ~EventLogSink() override {
    if (!m_source) return;
    ErrorLog::instance().removeSink(this);
    DeregisterEventSource(m_source);
  }
  EventLogSink(const EventLogSink&) = delete;
  EventLogSink& operator=(const EventLogSink&) = delete;

  void beginEntry(std::time_t, int32_t entryLevel) override {
    m_level = entryLevel;
    m_text.clear();
  }
  void write(const char* text) override { m_text += text; }
  void endEntry() override {
    const char* strings[] = {m_text.c_str()};
    ReportEventA(m_source, m_level >= Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, 0, 1,
                 nullptr, 1, 0, strings, nullptr);
  }

 private:
  HANDLE m_source;
  int32_t m_level = Warning;
  std::string m_text;
};

void WINAPI serviceMain(DWORD, LPSTR*) {
  g_statusHandle = RegisterServiceCtrlHandlerExA(kClockServiceName, control, nullptr);
  if (!g_statusHandle) return;
  report(SERVICE_START_PENDING, NO_ERROR, kStartWaitHintMs);
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::string folder, errorText;
  const bool haveFolder = MakeDataFolder(folder, errorText);
  ServiceLogFile logFile(folder + "\\service.log");
  EventLogSink events;
  if (!haveFolder) ErrorLog::instance().begin(Error) << "No data folder: " << errorText << End;
  if (!EnableClockPrivilege(errorText)) {
    ErrorLog::instance().begin(Error)
        << "Unable to enable the right to set the clock: " << errorText << End;
  }
  ErrorLog::instance().begin(Detail) << "Clock service started" << End;

  SystemServerEnvironment environment;
  PrecisionClock& clock = PrecisionClock::Instance();
  ServiceSeams seams;
  seams.servers = &environment;
  seams.clock = &clock;
  seams.setClock = [&clock](const TimeClass& time, std::string& error) {
    return clock.SetClock(time, error);
  };
  seams.measure = MeasureServer;
  seams.steadyMs = [] {
    return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count());
  };
  ClockRequestHandler handler(seams);
  report(SERVICE_RUNNING);
  const bool served = g_stop && ServePipe(handler, g_stop, [&] { logFile.keepBounded(); });
  ErrorLog::instance().begin(Detail) << "Clock service stopped" << End;
  // A pipe that could not be made is a failure, which the service control
  // manager answers with a restart.
  report(SERVICE_STOPPED, served ? NO_ERROR : ERROR_PIPE_BUSY);
}

}  // namespace

}  // namespace veltraw

int main(int argc, char** argv) {
  using namespace veltraw;
  if (argc == 2 && _stricmp(argv[1], "-install") == 0) return InstallService();
  if (argc == 2 && _stricmp(argv[1], "-stop") == 0) return StopService(false);
  if (argc == 2 && _stricmp(argv[1], "-remove") == 0) return StopService(true);
  if (argc > 1) {
    std::fprintf(stderr, "usage: VeltrawService [-install | -stop | -remove]\n");
    return 2;
  }
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(kClockServiceName), serviceMain},
                                  {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    std::fprintf(stderr, "VeltrawService runs as a service (%s); -install registers it\n",
                 lastErrorText().c_str());
    return 1;
  }
  return 0;
}
