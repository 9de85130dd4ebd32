// A settings key of the UI tests' own ("VeltrawUiTest"), removed before and
// after each use: a directory of the build tree natively, the (Wine) registry
// on Windows.
#pragma once

namespace veltraw::test {

constexpr const char* kUiTestKey = "VeltrawUiTest";
constexpr const char* kUiTestDirectory = "veltraw-ui-settings";

// Removes the key and everything in it (platform file).
void removeUiTestKey();

struct ScratchUiKey {
  ScratchUiKey() { removeUiTestKey(); }
  ~ScratchUiKey() { removeUiTestKey(); }
};

}  // namespace veltraw::test
