// The "Monitoring" dialog's data: the monitor command line, the conditions
// that run it, the latency threshold and the primary-only switch. Nothing is
// applied after OK: the core reads these settings at each result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/Settings.h"

namespace veltraw {

// The dialog's fields as the user sees and edits them.
struct MonitorSettings {
  std::string command;      // at most kMaxCommandLength characters
  std::string latencyText;  // the threshold in ms, as text
  bool onTimeout = false;
  bool onBadReference = false;
  bool onRecovery = false;
  bool onEveryPacket = false;
  bool onLatency = false;
  bool onStartStop = false;
  bool primaryOnly = false;
};

class MonitorSettingsModel {
 public:
  // The platform's command-line field holds 4096 characters with the
  // terminator.
  static constexpr std::size_t kMaxCommandLength = 4095;

  // keyName: the program's settings key; tests give their own. directory:
  // where the native settings file lives; ignored on Windows.
  explicit MonitorSettingsModel(std::string keyName = setting::kKeyName,
                                std::string directory = std::string());

  // Reads every value: a box is set when its value is non-zero; the latency
  // shows as an unsigned number (a stored -5 reads 4294967291).
  MonitorSettings load();

  // OK: stores every value as the fields hold them, nothing validated: the
  // boxes as 1 or 0 even when the command line is empty, the latency even
  // when its box is clear. Throws std::runtime_error when the store refuses a
  // value.
  void store(const MonitorSettings& edited);

  static std::string latencyText(int32_t latencyMs);
  // Reads text as the C library's text-to-integer conversion does: leading
  // blanks, an optional sign, then digits up to the first other character;
  // no digits give 0 ("150ms" is 150, "abc" 0, "-5" -5). Beyond the 32-bit
  // range the value holds at its limit, as the platform's conversion does.
  static int32_t parseLatency(const std::string& text);

 private:
  std::string m_keyName;
  std::string m_directory;
  // What load() read and showed: a field left as shown stores this value
  // again, so that OK alone never changes the threshold (a stored negative
  // value shows above the 32-bit signed range and would read back as its
  // limit).
  int32_t m_loadedLatency = 0;
  std::string m_shownLatency;
};

}  // namespace veltraw
