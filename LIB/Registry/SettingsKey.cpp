#include "LIB/Registry/SettingsKey.h"

namespace veltraw {

bool settingsNumberFromBytes(const std::string& bytes, int32_t& value) {
  // Only a value of exactly 4 bytes is a number. A shorter one (a text of one
  // or two characters) would leave part of the result unset, so it reads as
  // missing, like a longer one.
  if (bytes.size() != 4) return false;
  uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
  value = static_cast<int32_t>(bits);
  return true;
}

std::string settingsBytesFromNumber(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xff);
  return bytes;
}

std::string settingsTextFromBytes(const std::string& bytes) {
  // The stored terminating NUL may be missing; the text then ends with the data.
  return bytes.substr(0, bytes.find('\0'));
}

int32_t SettingsKey::readNumber(const std::string& valueName, int32_t defaultValue) const {
  std::string bytes;
  int32_t value = 0;
  if (!readStored(valueName, bytes) || !settingsNumberFromBytes(bytes, value)) return defaultValue;
  return value;
}

std::string SettingsKey::readText(const std::string& valueName,
                                  const std::string& defaultValue) const {
  std::string bytes;
  if (!readStored(valueName, bytes)) return defaultValue;
  return settingsTextFromBytes(bytes);
}

void SettingsKey::writeNumber(const std::string& valueName, int32_t value) {
  writeStored(valueName, SettingsValueType::Number, settingsBytesFromNumber(value));
}

void SettingsKey::writeText(const std::string& valueName, const std::string& value) {
  writeStored(valueName, SettingsValueType::Text, value + '\0');
}

}  // namespace veltraw
