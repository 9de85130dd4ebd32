#include <gtest/gtest.h>

#include <stdexcept>

#include "LIB/Log/Failure.h"
#include "LIB/String/IntToAscii.h"
#include "support/CaptureSink.h"

namespace veltraw {
namespace {

using test::CaptureSink;

TEST(Assertion, LogsTwoFatalLinesAndThrowsItsText) {
  CaptureSink sink;
  try {
    assertionFailed("x>0", "LIB/Some/File", 42);
  } catch (const char* text) {
    EXPECT_STREQ(text, "Assertion failure");
  }
  EXPECT_TRUE(sink.contains(">: Assertion failed: x>0 in LIB/Some/File:42")) << sink.all();
  EXPECT_TRUE(sink.contains(">: Backtrace not available; last PC is 0x00000000")) << sink.all();
  EXPECT_EQ(sink.levels, (std::vector<int32_t>{Fatal, Fatal}));
}

TEST(IntToAscii, DigitsInEveryRadixAndTheExtremes) {
  char buffer[40];
  EXPECT_STREQ(IntToAscii(0u, buffer, 10), "0");
  EXPECT_STREQ(IntToAscii(4294967295u, buffer, 10), "4294967295");
  EXPECT_STREQ(IntToAscii(4294967295u, buffer, 2), "11111111111111111111111111111111");
  EXPECT_STREQ(IntToAscii(35u, buffer, 36), "Z");
  EXPECT_STREQ(IntToAscii(int32_t{-1}, buffer, 10), "-1");
  EXPECT_STREQ(IntToAscii(int32_t{INT32_MIN}, buffer, 2), "-10000000000000000000000000000000");
  // A radix of zero is a broken rule, not a division by zero.
  CaptureSink sink;
  EXPECT_THROW(IntToAscii(1u, buffer, 0), const char*);
  EXPECT_THROW(IntToAscii(int32_t{-1}, buffer, 0), const char*);
  EXPECT_EQ(sink.matching("Assertion failed: base!=0").size(), 2u) << sink.all();
}

TEST(ErrorText, MessageThenCodeInHexAndDecimalOrTheFallback) {
  // No system has a message for this one.
  EXPECT_EQ(windowsErrorText(0x2BADF00Du), "Windows FormatMessage failed in getting error text");
  const std::string text = windowsErrorText(5);
  const std::string suffix = " (0x00000005 / 5)";
  ASSERT_GT(text.size(), suffix.size());
  EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix);
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
}

// A runtime_error type with a text of its own, as the calendar's range error has.
class DetailedError : public std::runtime_error {
 public:
  DetailedError() : std::runtime_error("DetailedError") {}
  const char* what() const noexcept override { return "DetailedError: month out of range: 13"; }
};

TEST(ExceptionBox, ShowsTheBaseMessageOnceAndReportsIt) {
  std::vector<std::pair<std::string, std::string>> boxes;
  auto box = [&](const std::string& title, const std::string& text) {
    boxes.emplace_back(title, text);
  };
  EXPECT_TRUE(runReportingExceptions([] {}, box));
  EXPECT_FALSE(runReportingExceptions([] { throw std::runtime_error("Cannot open it"); }, box));
  EXPECT_FALSE(runReportingExceptions([] { throw DetailedError(); }, box));
  using Box = std::pair<std::string, std::string>;
  EXPECT_EQ(boxes, (std::vector<Box>{{"Veltraw Exception", "Cannot open it"},
                                     {"Veltraw Exception", "DetailedError"}}));
  // Other exception types are not the box's business.
  EXPECT_THROW(runReportingExceptions([] { throw 7; }, box), int);
}

}  // namespace
}  // namespace veltraw
