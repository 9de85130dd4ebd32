// veltraw-query: asks one time server for the time with one request series,
// as the tray program does, and prints the result with every field of the
// last reply decoded (or one line of comma-separated values with --csv). See
// usageText for the arguments. The exit status is the series' status: 0 Ok,
// 1 no response, 2 bad reference, 3 failed (a name that cannot be resolved
// too); 64 for a usage error.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/LogSinks.h"
#include "LIB/Net/UDPSocket.h"
#include "VeltrawVersion.h"
#include "sntp/NtpResult.h"
#include "sntp/RequestThread.h"

namespace {

using veltraw::NtpPacket;
using veltraw::NtpResult;
using veltraw::NtpTimestamp;

constexpr int kUsageError = 64;

struct Outcome {
  std::mutex lock;
  std::condition_variable done;
  bool delivered = false;
  NtpResult result;
};

void OnResult(void* context, const NtpResult& result) {
  auto* outcome = static_cast<Outcome*>(context);
  std::lock_guard<std::mutex> hold(outcome->lock);
  outcome->result = result;
  outcome->delivered = true;
  outcome->done.notify_all();
}

const char* StatusName(veltraw::NtpStatus status) {
  switch (status) {
    case veltraw::Ok:
      return "Ok";
    case veltraw::NoResponse:
      return "NoResponse (no reply)";
    case veltraw::BadReference:
      return "BadReference (the last reply is not a usable time reference)";
    case veltraw::Failed:
      return "Failed (see the log: run with -v)";
    default:
      return "?";
  }
}

// "2026-12-06 20:42:21.123456789 UTC", or "0" for the zero timestamp.
std::string UtcText(NtpTimestamp t) {
  if (t.IsZero()) return "0";
  // Timestamps with bit 31 clear belong to the era that began in 2036.
  int64_t unixSeconds = static_cast<int64_t>(t.seconds()) - 2208988800LL;
  if ((t.seconds() & 0x80000000u) == 0) unixSeconds += 4294967296LL;
  const std::time_t when = static_cast<std::time_t>(unixSeconds);
  const std::tm* utc = std::gmtime(&when);
  if (!utc) return "?";
  char text[64];
  const unsigned nanoseconds = veltraw::FractionNanoseconds(t.fraction());
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%09u UTC", utc->tm_year + 1900,
                utc->tm_mon + 1, utc->tm_mday, utc->tm_hour, utc->tm_min, utc->tm_sec, nanoseconds);
  return text;
}

const char* LeapText(int leap) {
  static const char* const texts[] = {"no warning", "last minute has 61 s", "last minute has 59 s",
                                      "alarm: server not synchronised"};
  return texts[leap & 3];
}

const char* ModeText(int mode) {
  static const char* const texts[] = {"reserved", "symmetric active", "symmetric passive",
                                      "client",   "server",           "broadcast",
                                      "control",  "private"};
  return texts[mode & 7];
}

std::string ReferenceIdText(const NtpPacket& packet) {
  const uint8_t* id = packet.referenceId();
  char text[64];
  if (packet.stratum() <= 1) {
    std::string chars;
    for (int i = 0; i < 4 && id[i] != 0; ++i) {
      chars += (id[i] >= 0x20 && id[i] < 0x7f) ? static_cast<char>(id[i]) : '?';
    }
    std::snprintf(text, sizeof text, "\"%s\"", chars.c_str());
  } else {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", id[0], id[1], id[2], id[3]);
  }
  return text;
}

void PrintTimestamp(const char* name, NtpTimestamp t) {
  std::printf("  %-10s %s  %s\n", name, t.ToText().c_str(), UtcText(t).c_str());
}

void PrintReply(const NtpResult& result) {
  const NtpPacket& p = result.packet;
  const NtpTimestamp t1 = p.originateTimestamp();
  const NtpTimestamp t2 = p.receiveTimestamp();
  const NtpTimestamp t3 = p.transmitTimestamp();
  const NtpTimestamp t4 = result.arrival;
  if (!t1.IsZero() && !t2.IsZero() && !t3.IsZero()) {
    const double offset = veltraw::IntervalSeconds(veltraw::DoubledOffset(t1, t2, t3, t4)) / 2;
    const double roundTrip = veltraw::IntervalSeconds(veltraw::RoundTrip(t1, t2, t3, t4));
    std::printf("last reply: offset %+.6f ms, round trip %.6f ms (full resolution)\n",
                offset * 1000, roundTrip * 1000);
  }
  std::printf("  leap       %d (%s)\n", p.leapIndicator(), LeapText(p.leapIndicator()));
  std::printf("  version    %d\n", p.versionNumber());
  std::printf("  mode       %d (%s)\n", p.mode(), ModeText(p.mode()));
  std::printf("  stratum    %d\n", p.stratum());
  std::printf("  poll       %d\n", p.poll());
  std::printf("  precision  %d (%.3g s)\n", p.precision(),
              static_cast<double>(std::ldexp(1.0, p.precision())));
  std::printf("  root delay %.6f s\n", p.rootDelay() / 65536.0);
  std::printf("  root disp. %.6f s\n", p.rootDispersion() / 65536.0);
  std::printf("  reference  %s\n", ReferenceIdText(p).c_str());
  PrintTimestamp("ref. time", p.referenceTimestamp());
  PrintTimestamp("originate", t1);
  PrintTimestamp("receive", t2);
  PrintTimestamp("transmit", t3);
  PrintTimestamp("arrival", t4);
}

constexpr int32_t kMaxCount = 100;
constexpr int32_t kMaxTimeoutMs = 10000;
// Requests of one run are this far apart unless --burst: the tool must not
// hammer a public server.
constexpr int32_t kSpacingMs = 1000;

const char kUsage[] =
    "usage: veltraw-query [options] HOST [COUNT [TIMEOUT_MS]]\n"
    "Asks the time server HOST for the time, as Veltraw does, and shows the reply.\n"
    "  COUNT       requests in the series, 1 to 100 (default 1), 1 s apart\n"
    "  TIMEOUT_MS  how long each request waits for its reply, 1 to 10000 (default 2500)\n"
    "  --auto      as many requests as Veltraw's automatic mode sends (COUNT is the limit)\n"
    "  --burst     send the requests one right after the other (not to public servers)\n"
    "  --csv       one line: host,status,offset_us,round_trip_us,stratum,reference_id\n"
    "  -v          write the program's log to standard error\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "Exit status: 0 ok, 1 no response, 2 bad reference, 3 failed, 64 usage error.\n";

struct Options {
  std::string host;
  int32_t count = 1;
  int32_t timeoutMs = 2500;
  bool automatic = false;
  bool burst = false;
  bool csv = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

// A whole decimal number within [low, high], or false.
bool ParseBounded(const char* text, int32_t low, int32_t high, int32_t& value) {
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || parsed < low || parsed > high) return false;
  value = static_cast<int32_t>(parsed);
  return true;
}

// Empty when the arguments are fine, else what is wrong with them.
std::string ParseArguments(int argc, char** argv, Options& options) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "-v") {
      options.verbose = true;
    } else if (argument == "--csv") {
      options.csv = true;
    } else if (argument == "--burst") {
      options.burst = true;
    } else if (argument == "--auto") {
      options.automatic = true;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return "unknown option " + argument;
    } else if (positional == 0) {
      options.host = argument;
      ++positional;
    } else if (positional == 1) {
      if (!ParseBounded(argv[i], 1, kMaxCount, options.count)) return "COUNT must be 1 to 100";
      ++positional;
    } else if (positional == 2) {
      if (!ParseBounded(argv[i], 1, kMaxTimeoutMs, options.timeoutMs)) {
        return "TIMEOUT_MS must be 1 to 10000";
      }
      ++positional;
    } else {
      return "unexpected argument " + argument;
    }
  }
  if (options.help || options.version) return std::string();
  if (options.host.empty()) return "HOST is missing";
  return std::string();
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "veltraw-query: %s\nTry 'veltraw-query --help'.\n", problem.c_str());
  return kUsageError;
}

// The offset and round trip of the last reply at full resolution, in us.
void PrintCsv(const NtpResult& result) {
  const char* status[] = {"ok", "no-response", "bad-reference", "failed"};
  std::string offset, roundTrip, stratum, reference;
  if (result.hasPacket) {
    const NtpPacket& p = result.packet;
    const NtpTimestamp t1 = p.originateTimestamp(), t2 = p.receiveTimestamp();
    const NtpTimestamp t3 = p.transmitTimestamp(), t4 = result.arrival;
    char number[32];
    std::snprintf(number, sizeof number, "%.1f",
                  veltraw::IntervalSeconds(veltraw::DoubledOffset(t1, t2, t3, t4)) / 2 * 1e6);
    offset = number;
    std::snprintf(number, sizeof number, "%.1f",
                  veltraw::IntervalSeconds(veltraw::RoundTrip(t1, t2, t3, t4)) * 1e6);
    roundTrip = number;
    stratum = std::to_string(p.stratum());
    reference = ReferenceIdText(p);
    if (reference.size() > 1 && reference.front() == '"')
      reference = reference.substr(1, reference.size() - 2);
  }
  std::printf("%s,%s,%s,%s,%s,%s\n", result.host.c_str(), status[result.status & 3], offset.c_str(),
              roundTrip.c_str(), stratum.c_str(), reference.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string problem = ParseArguments(argc, argv, options);
  if (!problem.empty()) return Usage(problem);
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("veltraw-query %s\n", VELTRAW_VERSION_TEXT);
    return 0;
  }

  if (options.verbose) {
    // Lives as long as the process: the request thread may log to the end.
    auto* sink = new veltraw::DebugLogSink;
    sink->level = veltraw::Trace;
    veltraw::ErrorLog::instance().addSink(sink);
  }
  // Looked up here first, so that a mistyped name says what is wrong.
  if (options.host.compare(0, 4, "224.") != 0) {
    veltraw::UDPSocket lookup(0);  // starts the socket library where it needs starting
    veltraw::SocketAddress address;
    if (!lookup.Resolve(options.host, address, 123)) {
      std::fprintf(stderr, "veltraw-query: cannot resolve %s\n", options.host.c_str());
      return veltraw::Failed;
    }
  }

  Outcome outcome;
  veltraw::RequestArgs series;
  series.context = &outcome;
  series.host = options.host;
  series.callback = OnResult;
  series.timeoutMs = options.timeoutMs;
  series.requestCount = options.automatic ? 0 : options.count;
  series.minimumSpacingMs = options.burst ? 0 : kSpacingMs;
  if (options.automatic)
    veltraw::SetAutoRequestLimits(veltraw::AutoRoundTripThreshold, options.count);
  const auto start = std::chrono::steady_clock::now();
  if (!veltraw::StartRequestSeries(series)) {
    std::fprintf(stderr, "veltraw-query: unable to start the request thread\n");
    return veltraw::Failed;
  }
  std::unique_lock<std::mutex> hold(outcome.lock);
  outcome.done.wait(hold, [&] { return outcome.delivered; });
  // The series alone, without the start of the process (slow under Wine).
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  const NtpResult& result = outcome.result;

  if (options.csv) {
    PrintCsv(result);
  } else {
    std::printf("server %s: %s\n", result.host.c_str(), StatusName(result.status));
    if (result.status == veltraw::Ok || result.status == veltraw::BadReference) {
      std::printf(
          "offset %+d ms, round trip %d ms (series average, whole ms; positive: server ahead)\n",
          result.offsetMs, result.roundTripMs);
      PrintReply(result);
    }
    std::printf("query took %.3f ms\n", took.count());
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // The request thread may still be closing its socket and logging: leave
  // without running the destructors of the log it uses.
  std::_Exit(result.status);
}
