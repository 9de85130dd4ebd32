#include <gtest/gtest.h>

#include <string>

#include "ui/TrayIconState.h"

namespace veltraw {
namespace {

const int pictureA = 1;
const int pictureB = 2;
const void* const iconA = &pictureA;
const void* const iconB = &pictureB;

TEST(TrayIconState, TipBeforeAnyIconWaitsForTheIcon) {
  TrayIconState state;
  EXPECT_EQ(state.setTip("early").action, NotifyAction::None);
  EXPECT_FALSE(state.added());

  const NotifyRequest add = state.setIcon(iconA);
  EXPECT_EQ(add.action, NotifyAction::Add);
  EXPECT_EQ(add.icon, iconA);
  EXPECT_EQ(add.tip, "early");
}

TEST(TrayIconState, AddedOnceThenModifiedWithTheCurrentPair) {
  TrayIconState state;
  state.setIcon(iconA);
  NotifyRequest next = state.setIcon(iconB);
  EXPECT_EQ(next.action, NotifyAction::Modify);
  EXPECT_EQ(next.icon, iconB);

  next = state.setTip("offset 12 ms");
  EXPECT_EQ(next.action, NotifyAction::Modify);
  EXPECT_EQ(next.icon, iconB);
  EXPECT_EQ(next.tip, "offset 12 ms");
}

TEST(TrayIconState, NoIconSendsNothingButBecomesCurrent) {
  TrayIconState state;
  state.setIcon(iconA);
  EXPECT_EQ(state.setIcon(nullptr).action, NotifyAction::None);
  EXPECT_EQ(state.setTip("hidden").action, NotifyAction::None);
  EXPECT_EQ(state.icon(), nullptr);
}

// The add counts whatever the shell answered: a refused add is not retried
// with every change but when the taskbar announces itself, with the last
// picture and tip.
TEST(TrayIconState, TaskbarRestartAddsTheLastPictureAndTipAgain) {
  TrayIconState state;
  state.setIcon(iconA);  // suppose the shell refused this add
  EXPECT_EQ(state.setTip("requesting from a").action, NotifyAction::Modify);
  state.setIcon(iconB);
  state.setTip("offset 3 ms");

  const NotifyRequest again = state.taskbarCreated();
  EXPECT_EQ(again.action, NotifyAction::Add);
  EXPECT_EQ(again.icon, iconB);
  EXPECT_EQ(again.tip, "offset 3 ms");
  EXPECT_EQ(state.setTip("later").action, NotifyAction::Modify);
}

TEST(TrayIconState, TaskbarRestartBeforeAnyIconSendsNothing) {
  TrayIconState state;
  state.setTip("tip");
  EXPECT_EQ(state.taskbarCreated().action, NotifyAction::None);
  EXPECT_EQ(state.setIcon(iconA).action, NotifyAction::Add);
}

TEST(TrayIconState, LongTipsShowTheirFirst63Characters) {
  TrayIconState state;
  state.setIcon(iconA);
  const std::string eighty(80, 'x');
  const std::string text = "0123456789" + eighty;
  const NotifyRequest request = state.setTip(text);
  EXPECT_EQ(request.tip.size(), 63u);
  EXPECT_EQ(request.tip, text.substr(0, 63));
  EXPECT_EQ(state.tip(), text);  // kept whole; only the shell's copy is cut
  EXPECT_EQ(state.setTip(std::string(63, 'y')).tip, std::string(63, 'y'));
  EXPECT_EQ(notifyTipText(""), "");
}

TEST(TrayIconState, RemoveIsADelete) {
  TrayIconState state;
  state.setIcon(iconA);
  EXPECT_EQ(state.remove().action, NotifyAction::Delete);
}

}  // namespace
}  // namespace veltraw
