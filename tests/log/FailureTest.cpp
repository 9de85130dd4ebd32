#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "LIB/Log/Failure.h"
#include "LIB/String/IntToAscii.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

using test::CaptureSink;

// A radix of zero is a broken rule, not a division by zero: two fatal lines
// and the assertion's text thrown.
TEST(IntToAscii, DigitsInEveryRadixAndTheExtremes) {
  char buffer[40];
  EXPECT_STREQ(IntToAscii(0u, buffer, 10), "0");
  EXPECT_STREQ(IntToAscii(4294967295u, buffer, 2), "11111111111111111111111111111111");
  EXPECT_STREQ(IntToAscii(35u, buffer, 36), "Z");
  EXPECT_STREQ(IntToAscii(int32_t{INT32_MIN}, buffer, 2), "-10000000000000000000000000000000");
  test::FixedLogEnvironment env;
  ErrorLog::instance().setEnvironment(&env);
  CaptureSink sink;
  EXPECT_THROW(IntToAscii(1u, buffer, 0), const char*);
  EXPECT_THAT([&] { IntToAscii(int32_t{-1}, buffer, 0); },
              ::testing::Throws<const char*>(::testing::StrEq("Assertion failure")));
  EXPECT_EQ(sink.all(),
            "<6f4>: Assertion failed: base!=0 in LIB/String/IntToAscii:27\n"
            "<6f4>: Backtrace not available; last PC is 0x00000000\n"
            "<6f4>: Assertion failed: base!=0 in LIB/String/IntToAscii:59\n"
            "<6f4>: Backtrace not available; last PC is 0x00000000\n");
  EXPECT_EQ(sink.levels, std::vector<int32_t>(4, Fatal));
  ErrorLog::instance().setEnvironment(nullptr);
}

// The platform's message without its line end, then the code; no system has
// a message for the first one.
TEST(ErrorText, MessageThenCodeOrTheFallback) {
  EXPECT_EQ(windowsErrorText(0x2BADF00Du), "Windows FormatMessage failed in getting error text");
  EXPECT_EQ(windowsErrorText(5).find_first_of("\r\n"), std::string::npos);
}

// A runtime_error type with a text of its own, as the calendar's range error has.
class DetailedError : public std::runtime_error {
 public:
  DetailedError() : std::runtime_error("DetailedError") {}
  const char* what() const noexcept override { return "DetailedError: month out of range: 13"; }
};

TEST(ExceptionBox, ShowsTheBaseMessageOnceAndReportsIt) {
  std::vector<std::string> boxes;
  auto box = [&](const std::string& title, const std::string& text) {
    boxes.push_back(title + ": " + text);
  };
  EXPECT_TRUE(runReportingExceptions([] {}, box));
  EXPECT_FALSE(runReportingExceptions([] { throw std::runtime_error("Cannot open it"); }, box));
  EXPECT_FALSE(runReportingExceptions([] { throw DetailedError(); }, box));
  EXPECT_EQ(boxes, (std::vector<std::string>{"Veltraw Exception: Cannot open it",
                                             "Veltraw Exception: DetailedError"}));
  // Other exception types are not the box's business.
  EXPECT_THROW(runReportingExceptions([] { throw 7; }, box), int);
}

}  // namespace
}  // namespace veltraw
