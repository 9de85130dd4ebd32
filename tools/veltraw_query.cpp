// veltraw-query: asks one time server for the time with one request series,
// exactly as the tray program does, and prints the result with every field of
// the last reply decoded.
//
//   veltraw-query HOST [COUNT [TIMEOUT_MS]] [-v]
//   veltraw-query --version
//
// COUNT 0 is the automatic mode. The exit status is the series' status:
// 0 Ok, 1 no response, 2 bad reference, 3 failed; 64 for a usage error.
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

bool ParseInt(const char* text, int32_t& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < 0 || parsed > 1000000) return false;
  value = static_cast<int32_t>(parsed);
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: veltraw-query HOST [COUNT [TIMEOUT_MS]] [-v]\n"
               "       veltraw-query --version\n"
               "  COUNT       requests in the series; 0 = automatic (default 1)\n"
               "  TIMEOUT_MS  wait for each reply (default 2500)\n"
               "  -v          write the program's log to standard error\n");
  return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("veltraw-query %s\n", VELTRAW_VERSION_TEXT);
    return 0;
  }
  std::string host;
  int32_t count = 1;
  int32_t timeoutMs = 2500;
  bool verbose = false;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-v") == 0) {
      verbose = true;
    } else if (argv[i][0] == '-' || positional == 3) {
      return Usage();
    } else if (positional == 0) {
      host = argv[i];
      ++positional;
    } else if (!ParseInt(argv[i], positional == 1 ? count : timeoutMs)) {
      return Usage();
    } else {
      ++positional;
    }
  }
  if (host.empty() || timeoutMs == 0) return Usage();

  if (verbose) {
    // Lives as long as the process: the request thread may log to the end.
    auto* sink = new veltraw::DebugLogSink;
    sink->level = veltraw::Trace;
    veltraw::ErrorLog::instance().addSink(sink);
  }

  Outcome outcome;
  if (!veltraw::StartRequestThread(&outcome, host, OnResult, 0, timeoutMs, count)) {
    std::fprintf(stderr, "veltraw-query: unable to start the request thread\n");
    return veltraw::Failed;
  }
  std::unique_lock<std::mutex> hold(outcome.lock);
  outcome.done.wait(hold, [&] { return outcome.delivered; });
  const NtpResult& result = outcome.result;

  std::printf("server %s: %s\n", result.host.c_str(), StatusName(result.status));
  if (result.status == veltraw::Ok || result.status == veltraw::BadReference) {
    std::printf(
        "offset %+d ms, round trip %d ms (series average, whole ms; positive: server ahead)\n",
        result.offsetMs, result.roundTripMs);
    PrintReply(result);
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // The request thread may still be closing its socket and logging: leave
  // without running the destructors of the log it uses.
  std::_Exit(result.status);
}
