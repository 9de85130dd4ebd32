#include "ui/ExitAboutModel.h"

#include <utility>

#include "LIB/Registry/SettingsKey.h"

namespace veltraw {

AutostartSetting::AutostartSetting(std::string keyName, std::string directory)
    : m_keyName(std::move(keyName)), m_directory(std::move(directory)) {}

bool AutostartSetting::checked() const {
  SettingsKey key(m_keyName, m_directory);
  return key.read(setting::Autostart) != 0;
}

void AutostartSetting::store(bool checked) {
  SettingsKey key(m_keyName, m_directory);
  key.write(setting::Autostart, checked ? 1 : 0);
}

}  // namespace veltraw
