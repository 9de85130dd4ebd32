#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "LIB/Time/TimeClass.h"
#include "TimeTestSupport.h"

namespace veltraw {
namespace {

using test::makeTime;
using ::testing::ThrowsMessage;

TimeClass withMicrosecond(TimeClass time, uint32_t us) {
  time.setMicrosecond(us);
  return time;
}

// Hour 24 is the next midnight; a fraction that reads as a whole second
// (1000000 us) carries however little the time moves; more than 2^32 seconds
// do not wrap; a result outside the calendar throws and leaves the time as it
// was, the fraction not even rounded.
TEST(TimeArithmetic, CarriesAtTheEdgesOrThrowsAndKeepsTheTime) {
  const TimeClass nearlyNewYear = makeTime(2006, 12, 31, 23, 59, 59, 0xFFFFFFFF);
  const TimeClass midnight = makeTime(2006, 12, 31, 24);
  const TimeClass last = makeTime(65535, 12, 31, 23, 59, 59, 0x12345678);
  const struct {
    TimeClass start;
    bool add;
    uint64_t us;
    TimeClass expected;
    const char* error;
  } cases[] = {
      {nearlyNewYear, true, 0, makeTime(2007, 1, 1), nullptr},
      {nearlyNewYear, false, 0, makeTime(2007, 1, 1), nullptr},
      {nearlyNewYear, false, 1, withMicrosecond(makeTime(2006, 12, 31, 23, 59, 59), 999999),
       nullptr},
      {nearlyNewYear, false, 1000001, withMicrosecond(makeTime(2006, 12, 31, 23, 59, 58), 999999),
       nullptr},
      {makeTime(2006, 12, 31, 24, 30), true, 85800000000, makeTime(2007, 1, 2, 0, 20), nullptr},
      {midnight, false, 0, makeTime(2007, 1, 1), nullptr},
      {midnight, false, 1000000, makeTime(2006, 12, 31, 23, 59, 59), nullptr},
      {TimeClass(), true, 73049ull * 86400000000, makeTime(2100, 1, 1), nullptr},
      {makeTime(2100, 1, 1), false, 73049ull * 86400000000, TimeClass(), nullptr},
      {last, true, 900000, withMicrosecond(makeTime(65535, 12, 31, 23, 59, 59), 971111), nullptr},
      {TimeClass(), false, 1, TimeClass(), "1899"},
      {TimeClass(), false, 86400000000, TimeClass(), "1899"},
      {last, true, 1000000, last, "65536"},
      {makeTime(65535, 12, 31, 24), true, 0, makeTime(65535, 12, 31, 24), "65536"},
  };
  for (const auto& c : cases) {
    TimeClass time = c.start;
    auto move = [&] { c.add ? time.addMicroseconds(c.us) : time.subtractMicroseconds(c.us); };
    if (c.error) {
      EXPECT_THAT(
          move, ThrowsMessage<TimeError>(std::string("TimeError: year out of range: ") + c.error));
    } else {
      EXPECT_NO_THROW(move());
    }
    EXPECT_EQ(c.expected, time) << testing::PrintToString(c.start) << (c.add ? " + " : " - ")
                                << c.us;
  }
}

}  // namespace
}  // namespace veltraw
