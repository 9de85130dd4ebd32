// The Exit dialog's check box: the Autostart setting, read when the dialog
// opens and stored the moment the box is clicked.
#pragma once

#include <string>

#include "app/Settings.h"

namespace veltraw {

// Each access opens the settings key anew, so that a value changed elsewhere
// meanwhile is seen.
class AutostartSetting {
 public:
  // keyName: the program's settings key; tests give their own. directory:
  // where the native settings file lives; ignored on Windows.
  explicit AutostartSetting(std::string keyName = setting::kKeyName,
                            std::string directory = std::string());
  // Checked unless Autostart is stored as 0; absent means checked.
  bool checked() const;
  // Throws std::runtime_error when the value cannot be written.
  void store(bool checked);

 private:
  std::string m_keyName;
  std::string m_directory;
};

}  // namespace veltraw
