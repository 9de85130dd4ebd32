// The monitor settings: what the dialog shows and what OK stores.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"
#include "ui/MonitorSettingsModel.h"

namespace veltraw {
namespace {

TEST(MonitorSettingsModel, LatencyTextReadsLikeTheCLibraryWithoutOverflow) {
  struct Case {
    const char* text;
    int32_t stored;
  } cases[] = {
      {"150", 150},
      {"150ms", 150},
      {"  \t+42 ms", 42},
      {"\r\n\v\f9", 9},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {" - 5", 0},
      {"-5", -5},
      {"0x1F", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"99999999999", INT32_MAX},
      {"4294967291", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-99999999999999999999999999", INT32_MIN},
      {"000000000000000000000000123", 123},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MonitorSettingsModel::parseLatency(c.text), c.stored) << c.text;
  }
}

TEST(MonitorSettingsModel, FreshSystemShowsZeroAndClearBoxes) {
  test::ScratchKey scratch;
  MonitorSettingsModel model(scratch.name(), scratch.directory());
  const MonitorSettings shown = model.load();
  EXPECT_EQ(shown.command, "");
  EXPECT_EQ(shown.latencyText, "0");
  for (bool box : {shown.onTimeout, shown.onBadReference, shown.onRecovery, shown.onEveryPacket,
                   shown.onLatency, shown.onStartStop, shown.primaryOnly}) {
    EXPECT_FALSE(box);
  }
}

// Each box reaches its own value, and nothing is validated: the boxes are
// stored with an empty command line, the latency with its box clear.
TEST(MonitorSettingsModel, EveryFieldIsStoredAsItStands) {
  struct Box {
    bool MonitorSettings::*field;
    const char* value;
  } boxes[] = {
      {&MonitorSettings::onTimeout, "MonitorOnTimeout"},
      {&MonitorSettings::onBadReference, "MonitorOnBadRef"},
      {&MonitorSettings::onRecovery, "MonitorOnRecovery"},
      {&MonitorSettings::onEveryPacket, "MonitorOnAll"},
      {&MonitorSettings::onLatency, "MonitorOnLatency"},
      {&MonitorSettings::onStartStop, "MonitorOnStartStop"},
      {&MonitorSettings::primaryOnly, "MonitorPrimaryOnly"},
  };
  for (const Box& set : boxes) {
    test::ScratchKey scratch;
    MonitorSettingsModel model(scratch.name(), scratch.directory());
    MonitorSettings edited = model.load();
    edited.*set.field = true;
    edited.latencyText = "150ms";
    model.store(edited);

    auto key = scratch.open();
    EXPECT_EQ(key->readText("MonitorCommand", "<absent>"), "");
    EXPECT_EQ(key->readNumber("MonitorLatency", -1), 150);
    for (const Box& box : boxes) {
      EXPECT_EQ(key->readNumber(box.value, -1), &box == &set ? 1 : 0)
          << set.value << " set, reading " << box.value;
    }
    // Any non-zero value shows as a set box.
    key->writeNumber(set.value, 7);
    EXPECT_TRUE(MonitorSettingsModel(scratch.name(), scratch.directory()).load().*set.field);
  }
}

TEST(MonitorSettingsModel, NegativeLatencyShowsUnsignedAndSurvivesAnotherOk) {
  test::ScratchKey scratch;
  MonitorSettingsModel model(scratch.name(), scratch.directory());
  MonitorSettings edited = model.load();
  edited.latencyText = "-5";
  model.store(edited);
  EXPECT_EQ(scratch.open()->readNumber("MonitorLatency", 0), -5);

  MonitorSettingsModel reopened(scratch.name(), scratch.directory());
  edited = reopened.load();
  EXPECT_EQ(edited.latencyText, "4294967291");
  // OK with the field as shown keeps -5; read as typed text it would be the
  // 32-bit limit, a threshold of the opposite meaning.
  reopened.store(edited);
  EXPECT_EQ(scratch.open()->readNumber("MonitorLatency", 0), -5);
  edited.latencyText = "4294967291 ";
  reopened.store(edited);
  EXPECT_EQ(scratch.open()->readNumber("MonitorLatency", 0), INT32_MAX);
}

TEST(MonitorSettingsModel, CommandLineIsKeptWholeUpToItsLimit) {
  const std::string longest(MonitorSettingsModel::kMaxCommandLength, 'c');
  struct Case {
    std::string text;
    std::string kept;
  } cases[] = {
      {"notify.exe %2 %1 %3 %0 %", "notify.exe %2 %1 %3 %0 %"},
      {longest, longest},
      {std::string(10000, 'x') + "%", std::string(MonitorSettingsModel::kMaxCommandLength, 'x')},
  };
  for (const Case& c : cases) {
    test::ScratchKey scratch;
    MonitorSettingsModel model(scratch.name(), scratch.directory());
    MonitorSettings edited = model.load();
    edited.command = c.text;
    model.store(edited);
    EXPECT_EQ(scratch.open()->readText("MonitorCommand", ""), c.kept);

    // Stored longer by hand: the field shows what OK would keep.
    scratch.open()->writeText("MonitorCommand", c.text);
    EXPECT_EQ(MonitorSettingsModel(scratch.name(), scratch.directory()).load().command, c.kept);
  }
}

}  // namespace
}  // namespace veltraw
