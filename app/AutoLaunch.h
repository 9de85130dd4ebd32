// Starting with Windows: the program's entry in the machine-wide Run key,
// written or removed at exit according to the setting Autostart.
#pragma once

#include <cstdint>
#include <string>

namespace veltraw {

// The Run key, HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run.
// Each call returns the platform's error code, 0 on success.
class RunKey {
 public:
  virtual ~RunKey() = default;
  virtual uint32_t open() = 0;
  virtual uint32_t setValue(const std::string& name, const std::string& data) = 0;
  virtual uint32_t deleteValue(const std::string& name) = 0;
  virtual uint32_t close() = 0;
  // The full path of the running program; 0 on success, else the error code.
  virtual uint32_t modulePath(std::string& path) = 0;
  // The platform's own key (platform file).
  static RunKey& Platform();
};

constexpr const char* kAutoLaunchValueName = "VeltrawNTPClient";
constexpr const char* kAutoLaunchFailureCaption = "Failure Modifying Veltraw Auto-launch State";

// Writes (enable) or removes the program's entry. Every failure is shown once
// in a box owned by ownerWindow; none stops the caller.
void setAutoLaunch(RunKey& key, bool enable, void* ownerWindow);

}  // namespace veltraw
