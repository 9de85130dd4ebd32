// What every settings store must do, whether registry or file.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

// Stored bytes are not checked for their type: only 4 bytes make a number, and
// a text ends at its first NUL (or with the data).
TEST(SettingsKeyTest, StoredBytesReadAsNumberOnlyAtFourAndAsTextToTheFirstNul) {
  const struct {
    std::string bytes;
    int32_t number;  // -1: missing
    std::string text;
  } cases[] = {
      {std::string("12\0", 3), -1, "12"},
      {std::string("abc\0", 4), 0x00636261, "abc"},
      {std::string("\0\0\0\x80", 4), INT32_MIN, ""},
      {"ABCD", 0x44434241, "ABCD"},
      {std::string("\xff\xff\xff\x7f", 4), INT32_MAX, "\xff\xff\xff\x7f"},
      {std::string("ab\0cd\0", 6), -1, "ab"},
      {std::string("\0", 1), -1, ""},
      {"", -1, ""},
  };
  for (const auto& c : cases) {
    int32_t number = -1;
    settingsNumberFromBytes(c.bytes, number);
    EXPECT_EQ(number, c.number) << c.text;
    EXPECT_EQ(settingsTextFromBytes(c.bytes), c.text);
    if (c.number != -1) {
      EXPECT_EQ(settingsBytesFromNumber(c.number), c.bytes);
    }
  }
}

TEST(SettingsKeyTest, KeepsWhatIsWrittenForEveryKeyOnTheStore) {
  test::ScratchKey scratch;
  auto key = scratch.open();
  EXPECT_EQ(key->readNumber("Frequency", 60), 60);
  EXPECT_EQ(key->readText("Server1", "none"), "none");

  std::string everyByte;
  for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
  key->writeNumber("Frequency", 300);
  key->writeNumber("Lowest", INT32_MIN);
  key->writeText("Server1", "ntp.example.org");
  key->writeText("LogFile", "");  // an empty text is a value, not a missing one
  key->writeText("Every", everyByte);
  key->writeText("Large", std::string(100000, 'q'));
  key->writeText("Number", "now text");
  key->writeNumber("Number", 0x00434241);  // overwriting changes the type

  // Nothing is cached: another key sees every value, under any letter case.
  auto other = scratch.open();
  EXPECT_EQ(other->readNumber("FREQUENCY", 60), 300);
  EXPECT_EQ(other->readNumber("Lowest", 0), INT32_MIN);
  EXPECT_EQ(other->readText("server1", "none"), "ntp.example.org");
  EXPECT_EQ(other->readText("LogFile", "default.log"), "");
  EXPECT_EQ(other->readText("Every", ""), everyByte);
  EXPECT_EQ(other->readText("Large", ""), std::string(100000, 'q'));
  EXPECT_EQ(other->readNumber("Number", -1), 0x00434241);
  EXPECT_EQ(other->readText("Number", ""), "ABC");
  EXPECT_EQ(key->readNumber("Server1", -1), -1);
  other->writeText("SERVER1", "other.example.org");
  EXPECT_EQ(key->readText("Server1", ""), "other.example.org");
}

// Request threads read and write settings while others do; no value may be lost
// and no read may see anything but a value that was written.
TEST(SettingsKeyTest, ConcurrentWritersThroughSeveralKeysLoseNothing) {
  test::ScratchKey scratch;
  constexpr int kThreads = 4, kValuesEach = 20;
  auto shared = scratch.open();
  shared->writeNumber("Watched", 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Half the threads share one key, the others have their own.
      std::unique_ptr<SettingsKey> own = t % 2 ? scratch.open() : nullptr;
      SettingsKey& key = own ? *own : *shared;
      for (int v = 0; v < kValuesEach; ++v) {
        const std::string name = "T" + std::to_string(t) + "V" + std::to_string(v);
        key.writeText(name, name + " text");
        key.writeNumber("Watched", v);
        const int32_t watched = key.readNumber("Watched", -1);
        EXPECT_TRUE(watched >= 0 && watched < kValuesEach) << watched;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  auto check = scratch.open();
  for (int t = 0; t < kThreads; ++t) {
    for (int v = 0; v < kValuesEach; ++v) {
      const std::string name = "T" + std::to_string(t) + "V" + std::to_string(v);
      EXPECT_EQ(check->readText(name, "lost"), name + " text");
    }
  }
}

}  // namespace
}  // namespace veltraw
