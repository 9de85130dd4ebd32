// How far from the server's time a clock step lands: the time-keeping core,
// asking real servers of known offsets on loopback, with a clock behind the
// seam that records each step instead of making it. Each step's error is the
// time set, in the whole milliseconds the system takes, against the true
// server time at the instant of setting (this machine's time plus the
// server's offset). Both arithmetics in one run, server by server.
//   step_accuracy SETTINGS_DIR STEPS HOST=OFFSET_MS...
// For example, with the test peers running (tests/peers/peers.sh start
// 127.63.0 /tmp/peers): step_accuracy /tmp/steps 200 127.63.0.32=1234.567
// 127.63.0.33=-456.789 127.63.0.47=7
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "LIB/Time/PrecisionClock.h"
#include "app/SntpClientApp.h"
#include "bench/QuietShell.h"

namespace {

using namespace veltraw;

using bench::QuietShell;

// Reads the real clock; a step is measured, never made.
class RecordingClock : public Clock {
 public:
  TimeClass Now() override { return PrecisionClock::Instance().Now(); }
  bool SetClock(const TimeClass& time) override {
    const NtpTimestamp now = PrecisionClock::Instance().NowNtp();
    // What the system would set: whole milliseconds, truncated.
    TimeClass set = time;
    set.fraction =
        static_cast<uint32_t>(uint64_t{FractionMilliseconds(time.fraction)} * 4294967296ull / 1000);
    const NtpTimestamp truth = now + NtpTimestamp(static_cast<uint64_t>(m_offset));
    std::lock_guard<std::mutex> hold(m_lock);
    m_errorsUs.push_back(static_cast<double>(
        RoundedMicroseconds(SignedDifference(NtpTimestamp::FromCalendar(set), truth))));
    m_changed.notify_all();
    return false;
  }
  void expect(double offsetMs) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_offset = static_cast<NtpInterval>(std::llround(offsetMs * 4294967.296));
    m_errorsUs.clear();
  }
  bool waitFor(size_t steps) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::seconds(5),
                              [&] { return m_errorsUs.size() >= steps; });
  }
  std::vector<double> errors() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_errorsUs;
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  NtpInterval m_offset = 0;
  std::vector<double> m_errorsUs;
};

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s SETTINGS_DIR STEPS HOST=OFFSET_MS...\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  const int steps = std::atoi(argv[2]);
  QuietShell shell;
  RecordingClock clock;
  RunKey& runKey = RunKey::Platform();

  std::printf(
      "| arithmetic | server (offset ms) | steps | median error (us) | p99 error (us) |"
      " max error (us) |\n|---|---|---:|---:|---:|---:|\n");
  for (const bool precise : {false, true}) {
    for (int i = 3; i < argc; ++i) {
      const std::string server = argv[i];
      const size_t equals = server.find('=');
      const std::string host = server.substr(0, equals);
      const double offsetMs = std::atof(server.c_str() + equals + 1);
      {
        SettingsKey settings("Veltraw", directory);
        settings.writeNumber("Servers", 1);
        settings.writeText("Server1", host);
        settings.writeNumber("Requests", 1);
        settings.writeNumber("SetClockOnceDriftExceeds", 0);  // every result steps
      }
      AppServices services;
      services.shell = &shell;
      services.clock = &clock;
      services.runKey = &runKey;
      services.settingsDirectory = directory;
      services.preciseClockStep = precise;
      // Our own step is measured, never a clock service's.
      services.askClockService = [](const ClockServiceRequest&) { return ClockServiceAnswer{}; };
      clock.expect(offsetMs);
      {
        SntpClientApp core(services);  // asks once at start
        for (int step = 1; step < steps; ++step) {
          if (!clock.waitFor(static_cast<size_t>(step))) break;
          core.runUpdateCycle();
        }
        clock.waitFor(static_cast<size_t>(steps));
      }
      std::vector<double> magnitudes;
      for (double e : clock.errors()) magnitudes.push_back(std::fabs(e));
      if (magnitudes.empty()) {
        std::printf("| %s | %s | 0 | | | |\n", precise ? "precise" : "plain", server.c_str());
        continue;
      }
      std::printf("| %s | %s | %zu | %.0f | %.0f | %.0f |\n", precise ? "precise" : "plain",
                  server.c_str(), magnitudes.size(), percentile(magnitudes, 0.5),
                  percentile(magnitudes, 0.99), percentile(magnitudes, 1.0));
      std::fflush(stdout);
    }
  }
  return 0;
}
