// Costs of the calendar conversions made for every clock reading, of the
// reply evaluation made for every packet and of the texts the test packets
// dialog shows for a reply. Each benchmark also reports the heap allocations
// per call, which must stay 0 for the calendar conversions.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/LogSinks.h"
#include "LIB/Time/NtpTimestamp.h"
#include "LIB/Time/TimeClass.h"
#include "sntp/NtpPacket.h"
#include "sntp/ReplyEvaluation.h"
#include "tests/support/CountingNew.h"
#include "ui/TestPacketsModel.h"

namespace veltraw {
namespace {

constexpr size_t kInputs = 1024;  // a power of two: inputs are picked with a mask

uint64_t mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Timestamps spread over both NTP eras, with arbitrary fractions.
std::vector<NtpTimestamp> timestamps() {
  std::vector<NtpTimestamp> values;
  for (size_t i = 0; i < kInputs; ++i) values.emplace_back(mix(i));
  return values;
}

std::vector<TimeClass> calendarTimes() {
  std::vector<TimeClass> values;
  for (NtpTimestamp t : timestamps()) values.push_back(t.ToCalendar());
  return values;
}

// Counts the allocations made while the benchmark's loop ran.
class AllocationCounter {
 public:
  AllocationCounter() : m_start(test::AllocationsSoFar()) {}
  void report(benchmark::State& state) {
    state.counters["allocs/call"] =
        benchmark::Counter(static_cast<double>(test::AllocationsSoFar() - m_start),
                           benchmark::Counter::kAvgIterations);
  }

 private:
  long m_start;
};

void BM_DayNumber(benchmark::State& state) {
  const std::vector<TimeClass> times = calendarTimes();
  AllocationCounter allocations;
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(times[i++ & (kInputs - 1)].dayNumber());
  allocations.report(state);
}
BENCHMARK(BM_DayNumber);

void BM_SetDayNumber(benchmark::State& state) {
  std::vector<uint32_t> days;
  for (size_t i = 0; i < kInputs; ++i) days.push_back(static_cast<uint32_t>(mix(i) % 99421));
  TimeClass time;
  AllocationCounter allocations;
  size_t i = 0;
  for (auto _ : state) {
    time.setDayNumber(days[i++ & (kInputs - 1)]);
    benchmark::DoNotOptimize(time);
  }
  allocations.report(state);
}
BENCHMARK(BM_SetDayNumber);

void BM_FromCalendar(benchmark::State& state) {
  const std::vector<TimeClass> times = calendarTimes();
  AllocationCounter allocations;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NtpTimestamp::FromCalendar(times[i++ & (kInputs - 1)]));
  }
  allocations.report(state);
}
BENCHMARK(BM_FromCalendar);

void BM_ToCalendar(benchmark::State& state) {
  const std::vector<NtpTimestamp> stamps = timestamps();
  AllocationCounter allocations;
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(stamps[i++ & (kInputs - 1)].ToCalendar());
  allocations.report(state);
}
BENCHMARK(BM_ToCalendar);

// As the clock extrapolates: up to 30 s past the last synchronisation.
void BM_AddMicroseconds(benchmark::State& state) {
  std::vector<uint64_t> amounts;
  for (size_t i = 0; i < kInputs; ++i) amounts.push_back(mix(i) % 30000000);
  const TimeClass start = NtpTimestamp::Make(0xC76B0235, 0x80000000).ToCalendar();
  TimeClass time = start;
  AllocationCounter allocations;
  size_t i = 0;
  for (auto _ : state) {
    if ((i & (kInputs - 1)) == 0) time = start;
    time.addMicroseconds(amounts[i++ & (kInputs - 1)]);
    benchmark::DoNotOptimize(time);
  }
  allocations.report(state);
}
BENCHMARK(BM_AddMicroseconds);

// Good server replies a few milliseconds apart, with their arrival times.
struct Exchange {
  NtpPacket packet;
  NtpTimestamp arrival;
};

std::vector<Exchange> exchanges() {
  std::vector<Exchange> values;
  for (size_t i = 0; i < kInputs; ++i) {
    Exchange e;
    e.packet.bytes[0] = (4 << 3) | 4;  // version 4, server
    e.packet.bytes[1] = 2;
    const uint64_t t1 = (uint64_t{0xC76B0235} << 32) + (mix(i) >> 34);
    const uint64_t offset = mix(i + kInputs) >> 32;  // under 1 s
    const uint64_t t2 = t1 + offset;
    const uint64_t t3 = t2 + (mix(i + 2 * kInputs) >> 44);
    NtpTimestamp(t1).WriteWire(e.packet.bytes + NtpPacket::kOriginateTimestampOffset);
    NtpTimestamp(t2).WriteWire(e.packet.bytes + NtpPacket::kReceiveTimestampOffset);
    NtpTimestamp(t3).WriteWire(e.packet.bytes + NtpPacket::kTransmitTimestampOffset);
    e.arrival = NtpTimestamp(t3 - offset + (mix(i + 3 * kInputs) >> 38));
    values.push_back(e);
  }
  return values;
}

void evaluateReplies(benchmark::State& state) {
  const std::vector<Exchange> replies = exchanges();
  AllocationCounter allocations;
  size_t i = 0;
  int64_t good = 0;
  for (auto _ : state) {
    const Exchange& e = replies[i++ & (kInputs - 1)];
    int32_t offsetMs = 0, roundTripMs = 0;
    good += EvaluateReply(e.packet, e.arrival, offsetMs, roundTripMs);
    benchmark::DoNotOptimize(offsetMs);
    benchmark::DoNotOptimize(roundTripMs);
  }
  allocations.report(state);
  state.counters["good"] =
      benchmark::Counter(static_cast<double>(good), benchmark::Counter::kAvgIterations);
}

void BM_EvaluateReply_NoSink(benchmark::State& state) { evaluateReplies(state); }
BENCHMARK(BM_EvaluateReply_NoSink);

// The log file as the program writes it with details on: one line per reply.
void BM_EvaluateReply_FileSink(benchmark::State& state) {
  const std::string path = "/tmp/veltraw_bench_core.log";
  FileLogSink sink(path, false);
  sink.level = Detail;
  ErrorLog::instance().addSink(&sink);
  evaluateReplies(state);
  ErrorLog::instance().removeSink(&sink);
}
BENCHMARK(BM_EvaluateReply_FileSink);

// The 24 texts of the test packets dialog for one reply, four calendar texts
// among them.
void BM_TestPacketTexts(benchmark::State& state) {
  std::vector<NtpResult> results;
  for (const Exchange& e : exchanges()) {
    NtpResult result;
    result.status = Ok;
    result.hasPacket = true;
    result.packet = e.packet;
    NtpTimestamp(e.arrival.value() - (uint64_t{1000} << 32))
        .WriteWire(result.packet.bytes + NtpPacket::kReferenceTimestampOffset);
    results.push_back(result);
  }
  AllocationCounter allocations;
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(resultTexts(results[i++ & (kInputs - 1)]));
  allocations.report(state);
}
BENCHMARK(BM_TestPacketTexts);

}  // namespace
}  // namespace veltraw

BENCHMARK_MAIN();
