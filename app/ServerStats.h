// The server list and what was measured for each server since the last
// reset: histograms of round trip and of the offset relative to the primary,
// and the primary's samples from which the PC clock's drift is estimated.
//
// No lock of its own: every use happens under the application's lock.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LIB/Time/TimeClass.h"

namespace veltraw {

class Clock;

// Sums of squares of 32-bit samples pass 2^63 after two extreme samples, so
// they are kept in 128 bits (GCC and Clang on every target we build).
using WideSum = __int128;

struct Histogram {
  Histogram(int32_t binCount, int32_t low, int32_t high);

  // Back to no samples; the bin layout stays.
  void reset();
  void addSample(int32_t x);
  // Sets mean, stdDev and tallest from the counters.
  void finalize();

  int32_t below = 0;  // samples < low
  int32_t above = 0;  // samples >= high
  std::vector<int32_t> bins;
  int32_t binCount;
  int32_t low;   // first value of bin 0
  int32_t high;  // end of the last bin, exclusive
  int32_t min = 2147483647;
  int32_t max = -2147483647;
  int32_t count = 0;
  int64_t sum = 0;
  WideSum sumSquares = 0;
  float mean = 0;
  float stdDev = 0;  // population standard deviation of an integer variance
  int32_t tallest = 0;
};

struct DriftSample {
  TimeClass time;       // UTC, the clock's reading when the sample was added
  int32_t valueMs = 0;  // the PC clock's gain since the previous sample
};

// The PC clock's own gain between two measurements of the primary: the
// negated change of the primary's offset, with the clock's own corrections
// taken out. Summed over time it is the drift, whether or not the clock is
// ever set.
class ClockGainTracker {
 public:
  // A new offset of the primary (ms, positive when the server is ahead of
  // the PC). Returns the PC clock's gain in ms since the previous offset;
  // 0 for the first one. Call it before clockStepped for the same result.
  int32_t primaryOffset(int32_t offsetMs);
  // The clock was stepped by offsetMs (forward when positive), after the
  // last offset was measured.
  void clockStepped(int32_t offsetMs);
  void forget() { m_known = false; }

 private:
  bool m_known = false;
  // The primary's offset that a clock running true would show now.
  int64_t m_expectedOffsetMs = 0;
};

class ServerStats {
 public:
  // clock: the time source of the drift samples and estimate.
  explicit ServerStats(Clock& clock);
  ServerStats(const ServerStats&) = delete;
  ServerStats& operator=(const ServerStats&) = delete;

  // Forgets every server and sample (logged).
  void clear();
  // Keeps the servers, empties their histograms and the drift samples.
  void reset();
  void addServer(const std::string& name);
  int32_t count() const;
  // Throws std::runtime_error "Server Index Out of Range".
  std::string name(int32_t index) const;

  // Records a result of server index: its offset minus the primary's
  // (deltaMs) and its round trip. For the primary also a drift sample with
  // clockGainMs (see ClockGainTracker), when the result measured one. False,
  // and nothing recorded, when index is not a server.
  bool add(int32_t index, int32_t deltaMs, int32_t roundTripMs,
           std::optional<int32_t> clockGainMs = std::nullopt);
  // Finalised copies of the server's histograms; false for a bad index.
  bool get(int32_t index, Histogram& outDelta, Histogram& outLatency);

  // The PC clock's drift in ms per day, positive when it gains (runs fast):
  // the gain between the oldest sample kept and the newest, over the time
  // between them. False when they are less than a second apart. Drops the
  // samples that the last day does not need.
  bool driftPerDay(int32_t& out);

  size_t sampleCount() const { return m_samples.size(); }

 private:
  // Once there are three samples or more, drops those older than the last
  // one at or before a day ago, which starts the record.
  void pruneSamples(const TimeClass& now);
  struct Server {
    explicit Server(const std::string& serverName);
    std::string name;
    Histogram latency;  // round trips, ms
    Histogram delta;    // offset minus the primary's, ms
  };

  Clock& m_clock;
  std::vector<std::unique_ptr<Server>> m_servers;
  std::deque<DriftSample> m_samples;  // oldest first
};

}  // namespace veltraw
