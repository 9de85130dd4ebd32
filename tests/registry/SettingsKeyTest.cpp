// What every settings store must do, whether registry or file.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

using test::ScratchKey;

TEST(SettingsKeyTest, FreshKeyGivesDefaultsAndKeepsWhatIsWritten) {
  ScratchKey scratch;
  auto key = scratch.open();
  EXPECT_EQ(key->readNumber("Frequency", 60), 60);
  EXPECT_EQ(key->readText("Server1", "none"), "none");

  key->writeNumber("Frequency", 300);
  key->writeNumber("Negative", -2);
  key->writeNumber("Lowest", INT32_MIN);
  key->writeText("Server1", "ntp.example.org");
  key->writeText("LogFile", "");
  EXPECT_EQ(key->readNumber("Frequency", 60), 300);
  EXPECT_EQ(key->readNumber("Negative", 0), -2);
  EXPECT_EQ(key->readNumber("Lowest", 0), INT32_MIN);
  EXPECT_EQ(key->readText("Server1", "none"), "ntp.example.org");
  // An empty text is a value, not a missing one.
  EXPECT_EQ(key->readText("LogFile", "default.log"), "");

  // Values survive the key, and value names ignore letter case.
  key.reset();
  auto reopened = scratch.open();
  EXPECT_EQ(reopened->readNumber("FREQUENCY", 60), 300);
  reopened->writeText("server1", "other.example.org");
  EXPECT_EQ(reopened->readText("Server1", ""), "other.example.org");
}

TEST(SettingsKeyTest, StoredTypeIsNotCheckedOnlySizeCounts) {
  ScratchKey scratch;
  auto key = scratch.open();
  key->writeText("Short", "12");    // 3 bytes with the NUL
  key->writeText("Four", "abc");    // exactly 4 bytes
  key->writeText("Long", "12345");  // 6 bytes
  key->writeText("One", "");        // the NUL alone
  EXPECT_EQ(key->readNumber("Short", -1), -1);
  EXPECT_EQ(key->readNumber("Four", -1), 0x00636261);
  EXPECT_EQ(key->readNumber("Long", -1), -1);
  EXPECT_EQ(key->readNumber("One", -1), -1);

  // A number read as text: its 4 bytes up to the first NUL.
  key->writeNumber("Number", 0x00434241);
  key->writeNumber("Zero", 0);
  key->writeNumber("Full", 0x44434241);
  EXPECT_EQ(key->readText("Number", "x"), "ABC");
  EXPECT_EQ(key->readText("Zero", "x"), "");
  EXPECT_EQ(key->readText("Full", "x"), "ABCD");

  // Overwriting changes the type.
  key->writeNumber("Four", 7);
  EXPECT_EQ(key->readNumber("Four", -1), 7);
  key->writeText("Number", "now text");
  EXPECT_EQ(key->readText("Number", ""), "now text");
  EXPECT_EQ(key->readNumber("Number", -1), -1);
}

TEST(SettingsKeyTest, TextsKeepEveryByteUpToTheFirstNul) {
  ScratchKey scratch;
  auto key = scratch.open();
  std::string everyByte;
  for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
  key->writeText("Every", everyByte);
  EXPECT_EQ(key->readText("Every", ""), everyByte);
  key->writeText("Inner", std::string("ab\0cd", 5));
  EXPECT_EQ(key->readText("Inner", "x"), "ab");
  const std::string large(100000, 'q');
  key->writeText("Large", large);
  EXPECT_EQ(key->readText("Large", ""), large);
  EXPECT_EQ(key->readNumber("Large", 5), 5);
}

TEST(SettingsKeyTest, SeveralKeysOnOneStoreSeeEachOthersWrites) {
  ScratchKey scratch;
  auto application = scratch.open();
  auto dialog = scratch.open();
  application->writeNumber("Servers", 2);
  EXPECT_EQ(dialog->readNumber("Servers", 0), 2);
  dialog->writeNumber("Servers", 3);
  dialog->writeText("Server3", "third");
  EXPECT_EQ(application->readNumber("Servers", 0), 3);
  EXPECT_EQ(application->readText("Server3", ""), "third");
}

// Request threads read and write settings while others do; no value may be lost
// and no read may see anything but a value that was written.
TEST(SettingsKeyTest, ConcurrentWritersThroughSeveralKeysLoseNothing) {
  ScratchKey scratch;
  constexpr int kThreads = 4;
  constexpr int kValuesEach = 20;
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
        if (v % 2) {
          key.writeText(name, name + " text");
        } else {
          key.writeNumber(name, t * 1000 + v);
        }
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
      if (v % 2) {
        EXPECT_EQ(check->readText(name, "lost"), name + " text");
      } else {
        EXPECT_EQ(check->readNumber(name, -1), t * 1000 + v) << name;
      }
    }
  }
}

}  // namespace
}  // namespace veltraw
