// Runs request series the way the program does (StartRequestThread) and
// collects what their callbacks deliver and what they log.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LIB/Log/ErrorLog.h"
#include "sntp/RequestThread.h"
#include "support/CaptureSink.h"

namespace veltraw::test {

struct Delivery {
  NtpResult result;
  std::thread::id thread;
};

// Made with new and never freed when a series outlives its test, so that a
// late callback never writes into a destroyed object.
class Collector {
 public:
  static void Callback(void* context, const NtpResult& result) {
    auto* self = static_cast<Collector*>(context);
    std::lock_guard<std::mutex> hold(self->m_lock);
    self->m_deliveries.push_back({result, std::this_thread::get_id()});
    self->m_changed.notify_all();
  }

  // True when count deliveries arrived within the time.
  bool WaitFor(size_t count, std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, within, [&] { return m_deliveries.size() >= count; });
  }

  std::vector<Delivery> Deliveries() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_deliveries;
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Delivery> m_deliveries;
};

// How far a measured offset may lie from the responder's chosen one: half the
// time the exchange really spent on its way (its asymmetry is unknown, and a
// loaded machine can stretch it), plus the truncation to whole milliseconds.
// fakeDelayMs is the part of the round trip the responder only pretends.
inline int32_t OffsetSlack(int32_t roundTripMs, int32_t fakeDelayMs) {
  return std::max(0, roundTripMs - fakeDelayMs) / 2 + 2;
}

struct SeriesOutcome {
  bool started = false;
  std::vector<Delivery> deliveries;      // exactly one when all is well
  std::chrono::milliseconds elapsed{0};  // from the start to the callback
  NtpResult result;                      // the first delivery's
};

// Starts one series, waits for its callback and a moment more, so that a
// second callback would be seen.
inline SeriesOutcome RunSeries(const std::string& host, int32_t timeoutMs, int32_t count,
                               int32_t tag = 0) {
  using namespace std::chrono;
  SeriesOutcome outcome;
  auto* collector = new Collector;
  const auto start = steady_clock::now();
  outcome.started =
      StartRequestThread(collector, host, &Collector::Callback, tag, timeoutMs, count);
  if (!outcome.started) {
    delete collector;
    return outcome;
  }
  const bool delivered = collector->WaitFor(1, seconds(30));
  outcome.elapsed = duration_cast<milliseconds>(steady_clock::now() - start);
  if (delivered) collector->WaitFor(2, milliseconds(30));
  outcome.deliveries = collector->Deliveries();
  if (!outcome.deliveries.empty()) outcome.result = outcome.deliveries.front().result;
  if (delivered) delete collector;  // else leaked on purpose, see Collector
  return outcome;
}

}  // namespace veltraw::test
