#include <gtest/gtest.h>

#include <string>

#include "ui/TrayIconState.h"

namespace veltraw {
namespace {

const int pictures[2] = {1, 2};
const void* const iconA = &pictures[0];
const void* const iconB = &pictures[1];

std::string described(const NotifyRequest& request) {
  const char* actions[] = {"none", "add", "modify", "delete"};
  const char* icon = request.icon == iconA ? " A " : request.icon == iconB ? " B " : " - ";
  return actions[int(request.action)] + (icon + request.tip);
}

// The add counts whatever the shell answered: a refused add is not retried
// with every change but when the taskbar announces itself, with the last
// picture and tip.
TEST(TrayIconState, AddedOnceWithTheTipSoFarThenModifiedUntilTheTaskbarRestarts) {
  TrayIconState state;
  EXPECT_EQ(described(state.taskbarCreated()), "none - ");
  EXPECT_EQ(described(state.setTip("early")), "none - ");
  EXPECT_EQ(described(state.setIcon(iconA)), "add A early");
  EXPECT_EQ(described(state.setIcon(iconB)), "modify B early");
  EXPECT_EQ(described(state.setTip("offset 3 ms")), "modify B offset 3 ms");
  EXPECT_EQ(described(state.taskbarCreated()), "add B offset 3 ms");
  EXPECT_EQ(described(state.setTip("later")), "modify B later");
  EXPECT_EQ(described(state.remove()), "delete - ");
  // No icon sends nothing but becomes current.
  EXPECT_EQ(described(state.setIcon(nullptr)), "none - ");
  EXPECT_EQ(described(state.setTip("hidden")), "none - ");
  EXPECT_EQ(state.icon(), nullptr);
}

TEST(TrayIconState, LongTipsShowTheirFirst63Characters) {
  TrayIconState state;
  state.setIcon(iconA);
  const std::string text = std::string(63, 'y') + "z";
  EXPECT_EQ(state.setTip(text).tip, std::string(63, 'y'));
  EXPECT_EQ(state.tip(), text);  // kept whole; only the shell's copy is cut
}

}  // namespace
}  // namespace veltraw
