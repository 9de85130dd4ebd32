// What every settings store must do, whether registry or file.
#include <gtest/gtest.h>

#include <tuple>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

// Stored bytes are not checked for their type: only 4 bytes make a number, and
// a text ends at its first NUL (or with the data).
TEST(SettingsKeyTest, StoredBytesReadAsNumberOnlyAtFourAndAsTextToTheFirstNul) {
  const std::tuple<std::string, int32_t, std::string> cases[] = {
      // -1: no number
      {std::string("12\0", 3), -1, "12"},
      {std::string("\0\0\0\x80", 4), INT32_MIN, ""},
      {std::string("\xff\xff\xff\x7f", 4), INT32_MAX, "\xff\xff\xff\x7f"},
      {std::string("ab\0cd\0", 6), -1, "ab"},
      {"", -1, ""}};
  for (const auto& [bytes, expected, text] : cases) {
    int32_t number = -1;
    settingsNumberFromBytes(bytes, number);
    EXPECT_EQ(number, expected) << text;
    EXPECT_EQ(settingsTextFromBytes(bytes), text);
    if (expected != -1) {
      EXPECT_EQ(settingsBytesFromNumber(expected), bytes);
    }
  }
}

// Nothing is cached: another key sees every value, under any letter case.
TEST(SettingsKeyTest, KeepsWhatIsWrittenForEveryKeyOnTheStore) {
  test::ScratchKey scratch;
  auto key = scratch.open();
  EXPECT_EQ(key->readNumber("Frequency", 60), 60);
  EXPECT_EQ(key->readText("Server1", "none"), "none");

  std::string everyByte;
  for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
  key->writeNumber("Frequency", 300);
  key->writeText("Server1", "ntp.example.org");
  key->writeText("LogFile", "");  // an empty text is a value, not a missing one
  key->writeText("Every", everyByte + std::string(100000, 'q'));
  key->writeText("Number", "now text");
  key->writeNumber("Number", 0x00434241);  // overwriting changes the type

  auto other = scratch.open();
  EXPECT_EQ(other->readNumber("FREQUENCY", 60), 300);
  EXPECT_EQ(other->readText("LogFile", "default.log"), "");
  EXPECT_EQ(other->readText("Every", ""), everyByte + std::string(100000, 'q'));
  EXPECT_EQ(other->readText("Number", ""), "ABC");
  EXPECT_EQ(key->readNumber("Server1", -1), -1);
  other->writeText("SERVER1", "other.example.org");
  EXPECT_EQ(key->readText("server1", ""), "other.example.org");
}

}  // namespace
}  // namespace veltraw
