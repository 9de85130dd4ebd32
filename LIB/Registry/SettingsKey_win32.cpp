// The settings key in the registry of the current user.
#include <windows.h>

#include <limits>
#include <stdexcept>
#include <vector>

#include "LIB/Log/Failure.h"
#include "LIB/Registry/SettingsKey.h"

namespace veltraw {

struct SettingsKey::Handle {
  HKEY key = nullptr;
};

SettingsKey::SettingsKey(const std::string& name, const std::string& /*directory*/) {
  const std::string path = "Software\\Orvantis\\" + name;
  char emptyClass[] = "";
  HKEY key = nullptr;
  // The registry calls return their error instead of setting the thread's last
  // error, so the text is made from the returned code.
  const LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, emptyClass,
                                      REG_OPTION_NON_VOLATILE, 0x2001F, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) throw std::runtime_error(windowsErrorText(status));
  m_handle = std::make_unique<Handle>();
  m_handle->key = key;
}

SettingsKey::~SettingsKey() {
  if (m_handle && m_handle->key) RegCloseKey(m_handle->key);
}

bool SettingsKey::readStored(const std::string& valueName, std::string& bytes) const {
  // Another writer may make the value larger between learning its size and
  // reading it; ask again rather than answering with the default.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    if (RegQueryValueExA(m_handle->key, valueName.c_str(), nullptr, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
      return false;
    }
    std::vector<BYTE> buffer(static_cast<size_t>(size) + 1);
    DWORD received = size;
    const LONG status = RegQueryValueExA(m_handle->key, valueName.c_str(), nullptr, nullptr,
                                         buffer.data(), &received);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return false;
    // Only what the registry returned: a text stored without its NUL ends there.
    if (received > size) received = size;
    bytes.assign(reinterpret_cast<const char*>(buffer.data()), received);
    return true;
  }
  return false;
}

void SettingsKey::writeStored(const std::string& valueName, SettingsValueType type,
                              const std::string& bytes) {
  if (bytes.size() > std::numeric_limits<DWORD>::max()) {
    throw std::runtime_error(windowsErrorText(ERROR_INVALID_PARAMETER));
  }
  const DWORD registryType = type == SettingsValueType::Number ? REG_DWORD : REG_SZ;
  const LONG status =
      RegSetValueExA(m_handle->key, valueName.c_str(), 0, registryType,
                     reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  if (status != ERROR_SUCCESS) throw std::runtime_error(windowsErrorText(status));
}

}  // namespace veltraw
