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
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_NE(sink.lines[0].find("Unable to set system time: this build never sets the system clock"),
            std::string::npos);
  EXPECT_EQ(sink.levels[0], Fatal);
}

}  // namespace
}  // namespace veltraw
