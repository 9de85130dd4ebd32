// A settings key of the tests' own ("VeltrawAppTest"): in a directory of the
// build tree natively, in the (Wine) registry on Windows. Removed before and
// after, so that no test sees another's values or the user's.
#pragma once

#include <memory>
#include <string>

#include "LIB/Registry/SettingsKey.h"

namespace veltraw::test {

class ScratchSettings {
 public:
  ScratchSettings() { removeAll(); }
  ~ScratchSettings() { removeAll(); }
  ScratchSettings(const ScratchSettings&) = delete;
  ScratchSettings& operator=(const ScratchSettings&) = delete;

  std::unique_ptr<SettingsKey> open() const {
    return std::make_unique<SettingsKey>(kName, kDirectory);
  }

  static constexpr const char* kName = "VeltrawAppTest";
  static constexpr const char* kDirectory = "veltraw-app-settings";

 private:
  void removeAll();  // platform file
};

}  // namespace veltraw::test
