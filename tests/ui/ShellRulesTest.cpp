// The menu, the entry's decisions, the Exit dialog's rules and the keeping of
// exceptions at callbacks.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"
#include "ui/CallbackGuard.h"
#include "ui/EntryRules.h"
#include "ui/ExitAboutModel.h"
#include "ui/TrayMenu.h"

namespace veltraw {
namespace {

TEST(TrayMenu, EveryMenuIdHasItsActionAndOthersNone) {
  EXPECT_EQ(commandAction(100), CommandAction::About);
  EXPECT_EQ(commandAction(101), CommandAction::Exit);
  EXPECT_EQ(commandAction(103), CommandAction::Statistics);
  EXPECT_EQ(commandAction(104), CommandAction::ServerSettings);
  EXPECT_EQ(commandAction(105), CommandAction::LoggingSettings);
  EXPECT_EQ(commandAction(109), CommandAction::MonitorSettings);
  EXPECT_EQ(commandAction(112), CommandAction::TestPackets);
  for (int32_t unused : {0, 1, 2, 102, 106, 107, 108, 110, 111, 113, 1001}) {
    EXPECT_EQ(commandAction(unused), CommandAction::None) << unused;
  }
  // The high word says where the command came from (menu, accelerator).
  EXPECT_EQ(commandId(0x00010065u), 101);
  EXPECT_EQ(commandAction(commandId(0xFFFF0064u)), CommandAction::About);
}

TEST(EntryRules, UninstallIsTheWholeCommandLineInAnyCase) {
  for (const char* line : {"-uninstall", "-UNINSTALL", "-UnInStAlL"}) {
    EXPECT_TRUE(isUninstallCommand(line)) << line;
    EXPECT_EQ(entryAction(line, true), EntryAction::Uninstall) << line;
    EXPECT_EQ(entryAction(line, false), EntryAction::Uninstall) << line;
  }
  for (const char* line : {"", "-uninstall now", " -uninstall", "-uninstal", "uninstall",
                           "/uninstall", "-uninstall "}) {
    EXPECT_FALSE(isUninstallCommand(line)) << line;
    EXPECT_EQ(entryAction(line, false), EntryAction::Start) << line;
    EXPECT_EQ(entryAction(line, true), EntryAction::RefuseSecondInstance) << line;
  }
}

int32_t storedAutostart(const test::ScratchKey& scratch) {
  return scratch.open()->readNumber(setting::Autostart.name, -1);
}

TEST(ExitDialog, AutostartStartsCheckedAndFollowsEveryClick) {
  test::ScratchKey scratch;
  AutostartSetting setting(scratch.name(), scratch.directory());
  EXPECT_TRUE(setting.checked());  // nothing stored yet: a first Exit registers

  setting.store(false);
  EXPECT_FALSE(setting.checked());
  EXPECT_EQ(storedAutostart(scratch), 0);

  setting.store(true);
  EXPECT_TRUE(setting.checked());
  EXPECT_EQ(storedAutostart(scratch), 1);
}

TEST(ExitDialog, AnyNonZeroStoredValueMeansChecked) {
  test::ScratchKey scratch;
  scratch.open()->writeNumber(setting::Autostart.name, 7);
  EXPECT_TRUE(AutostartSetting(scratch.name(), scratch.directory()).checked());
  scratch.open()->writeNumber(setting::Autostart.name, 0);
  EXPECT_FALSE(AutostartSetting(scratch.name(), scratch.directory()).checked());
}

int quitRequests = 0;
void countQuit() { ++quitRequests; }

TEST(CallbackGuard, KeepsTheFirstExceptionForTheEntry) {
  quitRequests = 0;
  EXPECT_TRUE(guardCallback([] {}, countQuit));
  EXPECT_EQ(quitRequests, 0);
  EXPECT_FALSE(hasPendingCallbackException());

  EXPECT_FALSE(guardCallback([] { throw std::runtime_error("icon failed"); }, countQuit));
  EXPECT_FALSE(guardCallback([] { throw 42; }, countQuit));
  EXPECT_EQ(quitRequests, 2);
  EXPECT_TRUE(hasPendingCallbackException());

  try {
    rethrowPendingCallbackException();
    FAIL() << "nothing rethrown";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "icon failed");
  }
  EXPECT_FALSE(hasPendingCallbackException());
  EXPECT_NO_THROW(rethrowPendingCallbackException());
}

}  // namespace
}  // namespace veltraw
