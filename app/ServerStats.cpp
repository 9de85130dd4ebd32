#include "app/ServerStats.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/PrecisionClock.h"

namespace veltraw {

namespace {

int32_t saturate(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

constexpr uint32_t kDayMs = 86400000;
constexpr NtpInterval kSecond = NtpInterval{1} << 32;
constexpr double kLowest = std::numeric_limits<int32_t>::min();
constexpr double kHighest = std::numeric_limits<int32_t>::max();

}  // namespace

Histogram::Histogram(int32_t binCount, int32_t low, int32_t high)
    : bins(static_cast<size_t>(binCount), 0), binCount(binCount), low(low), high(high) {}

void Histogram::reset() {
  below = 0;
  above = 0;
  std::fill(bins.begin(), bins.end(), 0);
  min = 2147483647;
  max = -2147483647;
  count = 0;
  sum = 0;
  sumSquares = 0;
  mean = 0;
  stdDev = 0;
}

void Histogram::addSample(int32_t x) {
  // The reset extremes are 1 short of the 32-bit range; the first sample
  // sets both, so a lone -2147483648 is also the maximum.
  if (count == 0) {
    min = x;
    max = x;
  }
  count += 1;
  sum += x;
  sumSquares += static_cast<WideSum>(int64_t{x} * x);
  if (x < min) min = x;
  if (x > max) max = x;
  if (x < low) {
    below += 1;
  } else if (x >= high) {
    above += 1;
  } else {
    // x - low < high - low, so the product stays small.
    bins[static_cast<size_t>((x - low) * binCount / (high - low))] += 1;
  }
}

void Histogram::finalize() {
  if (count == 0) {
    mean = 0;
    stdDev = 0;
  } else {
    mean = static_cast<float>(sum / count);
    // The integer variance of the original formula, in 128 bits so that
    // extreme samples do not overflow it.
    const WideSum n = count;
    const WideSum variance = (sumSquares * n - WideSum{sum} * sum) / (n * n);
    stdDev = static_cast<float>(std::sqrt(static_cast<double>(variance)));
  }
  tallest = std::max(below, above);
  for (int32_t bin : bins) tallest = std::max(tallest, bin);
}

int32_t ClockGainTracker::primaryOffset(int32_t offsetMs) {
  // A PC clock that gains lets the server fall behind it: the offset drops
  // by what the PC gained.
  const int64_t gain = m_known ? m_expectedOffsetMs - offsetMs : 0;
  m_expectedOffsetMs = offsetMs;
  m_known = true;
  return saturate(gain);
}

void ClockGainTracker::clockStepped(int32_t offsetMs) {
  // Stepping the PC forward brings the server that much closer.
  if (m_known) m_expectedOffsetMs -= offsetMs;
}

ServerStats::Server::Server(const std::string& serverName)
    : name(serverName), latency(10, 0, 500), delta(20, -250, 250) {}

ServerStats::ServerStats(Clock& clock) : m_clock(clock) {}

void ServerStats::clear() {
  ErrorLog::instance() << "Delete Stats Called" << End;
  m_servers.clear();
  m_samples.clear();
}

void ServerStats::reset() {
  for (auto& server : m_servers) {
    server->latency.reset();
    server->delta.reset();
  }
  m_samples.clear();
}

void ServerStats::addServer(const std::string& name) {
  m_servers.push_back(std::make_unique<Server>(name));
}

int32_t ServerStats::count() const { return static_cast<int32_t>(m_servers.size()); }

std::string ServerStats::name(int32_t index) const {
  if (index < 0 || index >= count()) throw std::runtime_error("Server Index Out of Range");
  return m_servers[static_cast<size_t>(index)]->name;
}

bool ServerStats::add(int32_t index, int32_t deltaMs, int32_t roundTripMs,
                      std::optional<int32_t> clockGainMs) {
  if (index < 0 || index >= count()) return false;
  Server& server = *m_servers[static_cast<size_t>(index)];
  server.delta.addSample(deltaMs);
  server.latency.addSample(roundTripMs);
  // A sample without a measured gain would end the time that the next
  // sample's gain covers in the wrong place.
  if (index == 0 && clockGainMs) {
    const TimeClass now = m_clock.Now();
    m_samples.push_back(DriftSample{now, *clockGainMs});
    // Pruned here too, not only when the estimate is read: nothing reads it
    // while the statistics are not shown, and at a short period the samples
    // would otherwise pile up for as long as the program runs.
    pruneSamples(now);
  }
  return true;
}

void ServerStats::pruneSamples(const TimeClass& now) {
  if (m_samples.size() < 3) return;
  TimeClass cutoff = now;
  cutoff.subtractMilliseconds(kDayMs);
  // The oldest sample kept only marks where the record starts (its gain is
  // from before it), so the last one at or before the cutoff stays: the record
  // then still covers the whole day, also when samples are a day or more apart.
  while (m_samples.size() >= 3 && !(cutoff < m_samples[1].time)) m_samples.pop_front();
}

bool ServerStats::get(int32_t index, Histogram& outDelta, Histogram& outLatency) {
  if (index < 0 || index >= count()) return false;
  Server& server = *m_servers[static_cast<size_t>(index)];
  server.delta.finalize();
  server.latency.finalize();
  outDelta = server.delta;
  outLatency = server.latency;
  return true;
}

bool ServerStats::driftPerDay(int32_t& out) {
  const TimeClass now = m_clock.Now();
  pruneSamples(now);
  if (m_samples.empty()) return false;

  // Each sample's gain covers the time since the one before it: the first
  // one's covers time before the record, and the time after the last one is
  // not measured yet.
  int64_t sum = 0;
  for (size_t i = 1; i < m_samples.size(); ++i) sum += m_samples[i].valueMs;
  const NtpInterval covered = SignedDifference(NtpTimestamp::FromCalendar(m_samples.back().time),
                                               NtpTimestamp::FromCalendar(m_samples.front().time));
  // Less than a second (or a clock set back by hand) gives no usable figure.
  if (covered < kSecond) return false;
  // A clock changed by hand can make the figure huge: it is held at the 32-bit
  // limits.
  const double days = static_cast<double>(covered) / static_cast<double>(kSecond * 86400);
  const double perDay = static_cast<double>(sum) / days;
  out = static_cast<int32_t>(std::llround(std::clamp(perDay, kLowest, kHighest)));
  return true;
}

}  // namespace veltraw
