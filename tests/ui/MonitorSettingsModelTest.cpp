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
  // clang-format off
  const std::pair<const char*, int32_t> cases[] = {
      {"  \t+42 ms", 42}, {"\r\n\v\f9", 9}, {"abc", 0}, {" - 5", 0}, {"-5", -5}, {"0x1F", 0},
      {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX}, {"-2147483648", INT32_MIN},
      {"-99999999999999999999999", INT32_MIN}, {"000000000000000000000123", 123}};
  // clang-format on
  for (const auto& [text, stored] : cases) {
    EXPECT_EQ(MonitorSettingsModel::parseLatency(text), stored) << text;
  }
}

// Each box reaches its own value, and nothing is validated; any non-zero
// stored value sets a box.
TEST(MonitorSettingsModel, EveryFieldIsStoredAsItStands) {
  const std::pair<bool MonitorSettings::*, const char*> boxes[] = {
      {&MonitorSettings::onTimeout, "MonitorOnTimeout"},
      {&MonitorSettings::onBadReference, "MonitorOnBadRef"},
      {&MonitorSettings::onRecovery, "MonitorOnRecovery"},
      {&MonitorSettings::onEveryPacket, "MonitorOnAll"},
      {&MonitorSettings::onLatency, "MonitorOnLatency"},
      {&MonitorSettings::onStartStop, "MonitorOnStartStop"},
      {&MonitorSettings::primaryOnly, "MonitorPrimaryOnly"}};
  for (const auto& set : boxes) {
    test::ScratchKey scratch;
    MonitorSettingsModel model(scratch.name(), scratch.directory());
    MonitorSettings edited = model.load();
    edited.*set.first = true;
    model.store(edited);
    auto key = scratch.open();
    EXPECT_EQ(key->readText("MonitorCommand", "<absent>"), "");
    for (const auto& box : boxes) {
      EXPECT_EQ(key->readNumber(box.second, -1), &box == &set ? 1 : 0) << set.second << box.second;
    }
    key->writeNumber(set.second, 7);
    EXPECT_TRUE(model.load().*set.first);
  }
}

// A negative latency shows as its unsigned value; left as shown it stays
// negative, read as typed text it would be the 32-bit limit, a threshold of
// the opposite meaning.
TEST(MonitorSettingsModel, NegativeLatencyShowsUnsignedAndSurvivesAnotherOk) {
  test::ScratchKey scratch;
  MonitorSettingsModel model(scratch.name(), scratch.directory());
  MonitorSettings edited = model.load();
  EXPECT_EQ(edited.latencyText, "0");  // a fresh system
  edited.latencyText = "-5";
  model.store(edited);
  edited = model.load();
  EXPECT_EQ(edited.latencyText, "4294967291");
  model.store(edited);
  EXPECT_EQ(scratch.open()->readNumber("MonitorLatency", 0), -5);
  edited.latencyText += " ";
  model.store(edited);
  EXPECT_EQ(scratch.open()->readNumber("MonitorLatency", 0), INT32_MAX);
}

TEST(MonitorSettingsModel, CommandLineIsKeptWholeUpToItsLimit) {
  const std::string longest(MonitorSettingsModel::kMaxCommandLength, 'x');
  test::ScratchKey scratch;
  MonitorSettingsModel model(scratch.name(), scratch.directory());
  MonitorSettings edited = model.load();
  edited.command = longest + "%";
  model.store(edited);
  EXPECT_EQ(scratch.open()->readText("MonitorCommand", ""), longest);
  // Stored longer by hand: the field shows what OK would keep.
  scratch.open()->writeText("MonitorCommand", std::string(10000, 'x') + "%");
  EXPECT_EQ(model.load().command, longest);
}

}  // namespace
}  // namespace veltraw
