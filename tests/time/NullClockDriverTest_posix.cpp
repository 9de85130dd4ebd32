// The native build's clock source reads the system time but never sets it:
// it runs tests, fuzzers and benchmarks, often as root on shared machines.
#include <gtest/gtest.h>

#include "LIB/Time/PrecisionClock.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

TEST(NullClockDriver, RefusesToSetAndSaysWhy) {
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
