// The rules of the Exit and About dialogs, which share one procedure: the
// Autostart check box (read when the dialog opens, stored the moment it is
// clicked, whatever button closes the dialog afterwards) and what each command
// does.
#pragma once

#include <cstdint>
#include <string>

#include "app/Settings.h"

namespace veltraw {

// The setting behind the check box. Each access opens the settings key anew,
// so that a value changed elsewhere meanwhile is seen.
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

struct DialogCommandOutcome {
  bool handled = false;
  bool closes = false;
  bool result = false;        // the dialog's result when it closes
  bool storesChoice = false;  // the check box toggled: store its state now
};

// Command 1 ("&Exit", "OK", Enter) closes with true; 2 (Cancel, Escape, the
// close box) with false; 1001 stores the check box; anything else is not ours.
DialogCommandOutcome exitAboutCommand(int32_t controlId);

}  // namespace veltraw
