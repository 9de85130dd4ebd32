// The menu, the entry's decisions, the Exit dialog's rules and the keeping of
// exceptions at callbacks.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"
#include "ui/CallbackGuard.h"
#include "ui/EntryRules.h"
#include "ui/ExitAboutModel.h"
#include "ui/TrayMenu.h"

namespace veltraw {
namespace {

// Every item of the menu does something of its own; any other id, whatever
// the high word of the command says (menu, accelerator), does nothing.
TEST(TrayMenu, EveryItemHasAnActionOfItsOwnAndOtherIdsNone) {
  std::set<CommandAction> actions;
  std::set<int32_t> ids;
  for (const MenuItem& item : trayMenuItems()) {
    if (item.id == 0) continue;
    ids.insert(item.id);
    EXPECT_NE(commandAction(commandId(0xFFFF0000u | item.id)), CommandAction::None) << item.text;
    actions.insert(commandAction(item.id));
  }
  EXPECT_EQ(actions.size(), ids.size());
  for (int32_t id = 0; id < 0x10000; ++id) {
    if (!ids.count(id)) {
      EXPECT_EQ(commandAction(id), CommandAction::None) << id;
    }
  }
}

TEST(EntryRules, UninstallIsTheWholeCommandLineInAnyCase) {
  for (const char* line : {"-uninstall", "-UnInStAlL"}) {
    EXPECT_EQ(entryAction(line, true), EntryAction::Uninstall) << line;
  }
  for (const char* line : {"", "-uninstall now", " -uninstall", "-uninstal", "/uninstall"}) {
    EXPECT_EQ(entryAction(line, false), EntryAction::Start) << line;
    EXPECT_EQ(entryAction(line, true), EntryAction::RefuseSecondInstance) << line;
  }
}

// Nothing stored yet: a first Exit registers. Any non-zero value means checked.
TEST(ExitDialog, AutostartStartsCheckedAndFollowsEveryClick) {
  test::ScratchKey scratch;
  AutostartSetting setting(scratch.name(), scratch.directory());
  EXPECT_TRUE(setting.checked());
  for (bool checked : {false, true}) {
    setting.store(checked);
    EXPECT_EQ(setting.checked(), checked);
    EXPECT_EQ(scratch.open()->readNumber(setting::Autostart.name, -1), checked ? 1 : 0);
  }
  scratch.open()->writeNumber(setting::Autostart.name, 7);
  EXPECT_TRUE(AutostartSetting(scratch.name(), scratch.directory()).checked());
}

int quitRequests = 0;
void countQuit() { ++quitRequests; }

TEST(CallbackGuard, KeepsTheFirstExceptionForTheEntry) {
  EXPECT_TRUE(guardCallback([] {}, countQuit));
  EXPECT_FALSE(hasPendingCallbackException());
  EXPECT_FALSE(guardCallback([] { throw std::runtime_error("icon failed"); }, countQuit));
  EXPECT_FALSE(guardCallback([] { throw 42; }, countQuit));
  EXPECT_EQ(quitRequests, 2);
  EXPECT_TRUE(hasPendingCallbackException());
  EXPECT_THROW(rethrowPendingCallbackException(), std::runtime_error);  // the first one
  EXPECT_FALSE(hasPendingCallbackException());
}

}  // namespace
}  // namespace veltraw
