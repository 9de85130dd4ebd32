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
  const struct {
    const char* text;
    int32_t stored;
  } cases[] = {
      {"150ms", 150},
      {"  \t+42 ms", 42},
      {"\r\n\v\f9", 9},
      {"abc", 0},
      {"", 0},
      {" - 5", 0},
      {"-5", -5},
      {"0x1F", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"99999999999", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-99999999999999999999999", INT32_MIN},
      {"000000000000000000000123", 123},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MonitorSettingsModel::parseLatency(c.text), c.stored) << c.text;
  }
}

// Each box reaches its own value, and nothing is validated: the boxes are
// stored with an empty command line, the latency with its box clear.
TEST(MonitorSettingsModel, EveryFieldIsStoredAsItStands) {
  const struct {
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
  for (const auto& set : boxes) {
    test::ScratchKey scratch;
    MonitorSettingsModel model(scratch.name(), scratch.directory());
    MonitorSettings edited = model.load();
    ASSERT_EQ(edited.latencyText, "0");  // a fresh system
    ASSERT_FALSE(edited.*set.field);
    edited.*set.field = true;
    edited.latencyText = "150ms";
    model.store(edited);

    auto key = scratch.open();
    EXPECT_EQ(key->readText("MonitorCommand", "<absent>"), "");
    EXPECT_EQ(key->readNumber("MonitorLatency", -1), 150);
    for (const auto& box : boxes) {
      EXPECT_EQ(key->readNumber(box.value, -1), &box == &set ? 1 : 0) << set.value << box.value;
    }
    key->writeNumber(set.value, 7);  // any non-zero value sets the box
    EXPECT_TRUE(MonitorSettingsModel(scratch.name(), scratch.directory()).load().*set.field);
  }
}

TEST(MonitorSettingsModel, NegativeLatencyShowsUnsignedAndSurvivesAnotherOk) {
  test::ScratchKey scratch;
  MonitorSettingsModel model(scratch.name(), scratch.directory());
  MonitorSettings edited = model.load();
  edited.latencyText = "-5";
  model.store(edited);
  edited = model.load();
  EXPECT_EQ(edited.latencyText, "4294967291");
  // Left as shown it stays -5; read as typed text it would be the 32-bit
  // limit, a threshold of the opposite meaning.
  model.store(edited);
  EXPECT_EQ(scratch.open()->readNumber("MonitorLatency", 0), -5);
  edited.latencyText = "4294967291 ";
  model.store(edited);
  EXPECT_EQ(scratch.open()->readNumber("MonitorLatency", 0), INT32_MAX);
}

TEST(MonitorSettingsModel, CommandLineIsKeptWholeUpToItsLimit) {
  const std::string longest(MonitorSettingsModel::kMaxCommandLength, 'x');
  test::ScratchKey scratch;
  MonitorSettingsModel model(scratch.name(), scratch.directory());
  MonitorSettings edited = model.load();
  for (const std::string& command : {longest, longest + "%"}) {
    edited.command = command;
    model.store(edited);
    EXPECT_EQ(scratch.open()->readText("MonitorCommand", ""), longest);
  }
  // Stored longer by hand: the field shows what OK would keep.
  scratch.open()->writeText("MonitorCommand", std::string(10000, 'x') + "%");
  EXPECT_EQ(model.load().command, longest);
}

}  // namespace
}  // namespace veltraw
