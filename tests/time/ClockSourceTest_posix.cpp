// The native build's clock source reads the system time but never sets it:
// it runs tests, fuzzers, benchmarks and the query tool, often as root on
// shared machines.
#include <gtest/gtest.h>

#include <chrono>

#include "LIB/Time/PrecisionClock.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

int64_t monotonicNs() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

TEST(PosixClockSource, CounterIsTheMonotonicClockInNanoseconds) {
  ClockSource& source = ClockSource::Platform();
  int64_t frequency = 0;
  ASSERT_TRUE(source.CounterFrequency(frequency));
  EXPECT_EQ(frequency, 1000000000);
  const int64_t before = monotonicNs();
  const int64_t counter = source.Counter();
  const int64_t after = monotonicNs();
  EXPECT_TRUE(before <= counter && counter <= after) << before << " " << counter << " " << after;
}

TEST(PosixClockSource, RefusesToSetAndSaysWhy) {
  test::CaptureSink sink;
  PrecisionClock& clock = PrecisionClock::Instance();
  TimeClass past = clock.Now();
  past.subtractMilliseconds(3600000);
  EXPECT_FALSE(clock.SetClock(past));
  EXPECT_EQ(sink.levels, std::vector<int32_t>{Fatal});
  EXPECT_TRUE(sink.contains("Unable to set system time: this build never sets the system clock"));
}

}  // namespace
}  // namespace veltraw
