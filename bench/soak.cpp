// Soak run of the time-keeping core: thousands of update cycles against real
// servers on loopback, printing the process's threads, open descriptors and
// resident memory as it goes, so that a leak shows as a rising column.
//   soak SETTINGS_DIR CYCLES PERIOD_MS HOST...
// HOST... become Server1, Server2, ...; the clock is a stand-in that never
// sets anything.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "LIB/Time/PrecisionClock.h"
#include "app/SntpClientApp.h"
#include "bench/QuietShell.h"

namespace {

using namespace veltraw;

using bench::QuietShell;

// Reads the real clock; setting it is only counted.
class ReadOnlyClock : public Clock {
 public:
  TimeClass Now() override { return PrecisionClock::Instance().Now(); }
  bool SetClock(const TimeClass&) override {
    ++sets;
    return false;
  }
  int sets = 0;
};

int countEntries(const char* directory) {
  int count = 0;
  if (DIR* dir = opendir(directory)) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count - 2;
}

long residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s SETTINGS_DIR CYCLES PERIOD_MS HOST...\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  const int cycles = std::atoi(argv[2]);
  const int periodMs = std::atoi(argv[3]);
  {
    SettingsKey settings("Veltraw", directory);
    settings.writeNumber("Servers", argc - 4);
    for (int i = 4; i < argc; ++i) settings.writeText("Server" + std::to_string(i - 3), argv[i]);
    settings.writeNumber("ReportOnly", 1);
    settings.writeNumber("Requests", 1);
    settings.writeText("DataFile", directory + "/soak.csv");
  }
  QuietShell shell;
  ReadOnlyClock clock;
  AppServices services;
  services.shell = &shell;
  services.clock = &clock;
  services.runKey = &RunKey::Platform();
  services.settingsDirectory = directory;
  SntpClientApp app(services);

  std::printf("%8s %8s %8s %10s\n", "cycle", "threads", "fds", "rss_kib");
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
    app.runUpdateCycle();
    if (cycle % (cycles / 10 > 0 ? cycles / 10 : 1) == 0 || cycle == 1) {
      std::printf("%8d %8d %8d %10ld\n", cycle, countEntries("/proc/self/task"),
                  countEntries("/proc/self/fd"), residentKiB());
      std::fflush(stdout);
    }
  }
  // Let the last series end before the core goes.
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  std::printf("%8s %8d %8d %10ld\n", "settled", countEntries("/proc/self/task"),
              countEntries("/proc/self/fd"), residentKiB());
  return 0;
}
