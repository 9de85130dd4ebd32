// Starting with Windows: the program's entry in a Run key, written or removed
// at exit according to the setting Autostart. The machine-wide key is the
// one to use; a standard user, who may not write it, gets the same entry in
// the user's own Run key instead.
#pragma once

#include <cstdint>
#include <string>

namespace veltraw {

// Software\Microsoft\Windows\CurrentVersion\Run of HKEY_LOCAL_MACHINE or of
// HKEY_CURRENT_USER.
enum class RunKeyScope { Machine, User };

// The Run keys. Each call returns the platform's error code, 0 on success;
// the value calls act on the key opened last.
class RunKey {
 public:
  virtual ~RunKey() = default;
  virtual uint32_t open(RunKeyScope scope, bool forWriting) = 0;
  virtual bool hasValue(const std::string& name) = 0;
  virtual uint32_t setValue(const std::string& name, const std::string& data) = 0;
  virtual uint32_t deleteValue(const std::string& name) = 0;
  virtual uint32_t close() = 0;
  // The full path of the running program; 0 on success, else the error code.
  virtual uint32_t modulePath(std::string& path) = 0;
  // The platform's own keys (platform file).
  static RunKey& Platform();
};

constexpr const char* kAutoLaunchValueName = "VeltrawNTPClient";
constexpr const char* kAutoLaunchFailureCaption = "Failure Modifying Veltraw Auto-launch State";
// The platform's "access denied": a user without the right to write a key.
constexpr uint32_t kRunKeyAccessDenied = 5;

// Writes (enable) or removes the program's entry: in the machine's Run key,
// or in the user's own when the machine's refuses this user. A machine-wide
// entry replaces a user's own copy, so that the program never starts twice.
// Every failure is shown once in a box owned by ownerWindow; none stops the
// caller.
void setAutoLaunch(RunKey& key, bool enable, void* ownerWindow);

// Where the program is registered today, read when the Exit dialog opens.
struct AutoLaunchState {
  bool machineEntry = false;
  bool userEntry = false;
  bool machineWritable = false;
  // An administrator's machine-wide entry that this user cannot remove: it
  // starts the program with Windows whatever the user chooses.
  bool fixedByAdministrator() const { return machineEntry && !machineWritable; }
};
AutoLaunchState readAutoLaunchState(RunKey& key);

}  // namespace veltraw
