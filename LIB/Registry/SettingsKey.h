// The store of the program's settings: named numbers and texts that survive a
// restart.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace veltraw {

// How a value was stored: a number as 4 bytes (REG_DWORD), a text as its
// characters and a terminating NUL (REG_SZ).
enum class SettingsValueType { Number, Text };

// A stored value's name and what stands in for it while it is absent.
struct NumberSetting {
  const char* name;
  int32_t defaultValue;
};
struct TextSetting {
  const char* name;
  const char* defaultValue;
};

// One key of settings. On Windows: HKEY_CURRENT_USER\Software\Orvantis\<name>.
// Elsewhere: the file <name>.conf (see SettingsFile.h) in `directory`, or, when
// that is empty, in $XDG_CONFIG_HOME/veltraw or else ~/.config/veltraw; the
// Windows build ignores `directory`.
//
// Reads never fail: a missing or unusable value gives the caller's default, and
// every read sees the stored value of the moment (nothing is cached). Writes
// that fail throw std::runtime_error with the system's error text. Any number
// of SettingsKey objects, in any threads or processes, may use one key at once.
class SettingsKey {
 public:
  // Opens the key, creating it when missing; throws std::runtime_error when
  // that fails.
  explicit SettingsKey(const std::string& name, const std::string& directory = std::string());
  ~SettingsKey();
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;

  // A stored value of exactly 4 bytes, whatever its type; any other size
  // (a short or long text included) gives defaultValue.
  int32_t readNumber(const std::string& valueName, int32_t defaultValue) const;
  // The stored bytes up to their first NUL: a number gives its 4 bytes so cut.
  std::string readText(const std::string& valueName, const std::string& defaultValue) const;
  void writeNumber(const std::string& valueName, int32_t value);
  // Stores value.size() + 1 bytes, the terminating NUL included.
  void writeText(const std::string& valueName, const std::string& value);

  int32_t read(const NumberSetting& setting) const {
    return readNumber(setting.name, setting.defaultValue);
  }
  std::string read(const TextSetting& setting) const {
    return readText(setting.name, setting.defaultValue);
  }
  void write(const NumberSetting& setting, int32_t value) { writeNumber(setting.name, value); }
  void write(const TextSetting& setting, const std::string& value) {
    writeText(setting.name, value);
  }

 private:
  struct Handle;  // the platform's open key

  // Platform part: the bytes of a value exactly as stored, false when there is
  // none or it cannot be read.
  bool readStored(const std::string& valueName, std::string& bytes) const;
  void writeStored(const std::string& valueName, SettingsValueType type, const std::string& bytes);

  std::unique_ptr<Handle> m_handle;
};

// The decoding shared by both stores. A number's 4 bytes are in little-endian
// order, the registry's on every Windows machine.
bool settingsNumberFromBytes(const std::string& bytes, int32_t& value);
std::string settingsBytesFromNumber(int32_t value);
std::string settingsTextFromBytes(const std::string& bytes);

}  // namespace veltraw
