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
    FAIL() << "returned";
  } catch (const char* text) {
    EXPECT_STREQ(text, "Assertion failure");
  }
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_NE(sink.lines[0].find(">: Assertion failed: x>0 in LIB/Some/File:42"), std::string::npos);
  EXPECT_NE(sink.lines[1].find(">: Backtrace not available; last PC is 0x00000000"),
            std::string::npos);
  EXPECT_EQ(sink.levels, (std::vector<int32_t>{Fatal, Fatal}));
}

TEST(IntToAscii, DigitsInEveryRadixAndTheExtremes) {
  char buffer[40];
  EXPECT_STREQ(IntToAscii(0u, buffer, 10), "0");
  EXPECT_STREQ(IntToAscii(4294967295u, buffer, 10), "4294967295");
  EXPECT_STREQ(IntToAscii(4294967295u, buffer, 2), "11111111111111111111111111111111");
  EXPECT_STREQ(IntToAscii(35u, buffer, 36), "Z");
  EXPECT_STREQ(IntToAscii(int32_t{-2147483647 - 1}, buffer, 16), "-80000000");
  EXPECT_STREQ(IntToAscii(int32_t{-2147483647 - 1}, buffer, 2),
               "-10000000000000000000000000000000");
  EXPECT_STREQ(IntToAscii(int32_t{-1}, buffer, 10), "-1");
}

TEST(IntToAscii, RadixZeroIsABrokenRuleAtItsSite) {
  CaptureSink sink;
  char buffer[40];
  EXPECT_THROW(IntToAscii(1u, buffer, 0), const char*);
  EXPECT_THROW(IntToAscii(int32_t{-1}, buffer, 0), const char*);
  ASSERT_EQ(sink.lines.size(), 4u);
  EXPECT_NE(sink.lines[0].find("Assertion failed: base!=0 in LIB/String/IntToAscii:27"),
            std::string::npos);
  EXPECT_NE(sink.lines[2].find("Assertion failed: base!=0 in LIB/String/IntToAscii:59"),
            std::string::npos);
}

TEST(ErrorText, UnknownCodeGivesTheFallbackAlone) {
  // No system has a message for this one.
  EXPECT_EQ(windowsErrorText(0x2BADF00Du), "Windows FormatMessage failed in getting error text");
}

TEST(ErrorText, KnownCodeEndsInHexAndDecimalWithoutALineBreak) {
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
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0],
            std::make_pair(std::string("Veltraw Exception"), std::string("Cannot open it")));
  EXPECT_EQ(boxes[1].second, "DetailedError");
  // Other exception types are not the box's business.
  EXPECT_THROW(runReportingExceptions([] { throw 7; }, box), int);
}

}  // namespace
}  // namespace veltraw
