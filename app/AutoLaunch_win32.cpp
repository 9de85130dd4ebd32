// The Run keys of Windows, the machine's and the user's.
#include <windows.h>

#include "app/AutoLaunch.h"

namespace veltraw {

static_assert(kRunKeyAccessDenied == ERROR_ACCESS_DENIED);

namespace {

class WindowsRunKey : public RunKey {
 public:
  uint32_t open(RunKeyScope scope, bool forWriting) override {
    const REGSAM access =
        forWriting ? KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY : KEY_QUERY_VALUE;
    return static_cast<uint32_t>(
        RegOpenKeyExA(scope == RunKeyScope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, access, &m_key));
  }
  bool hasValue(const std::string& name) override {
    return RegQueryValueExA(m_key, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
  }
  uint32_t setValue(const std::string& name, const std::string& data) override {
    return static_cast<uint32_t>(RegSetValueExA(m_key, name.c_str(), 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(data.c_str()),
                                                static_cast<DWORD>(data.size() + 1)));
  }
  uint32_t deleteValue(const std::string& name) override {
    return static_cast<uint32_t>(RegDeleteValueA(m_key, name.c_str()));
  }
  uint32_t close() override {
    const LONG result = RegCloseKey(m_key);
    m_key = nullptr;
    return static_cast<uint32_t>(result);
  }
  uint32_t modulePath(std::string& path) override {
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length == 0) return GetLastError();
    // A path that filled the buffer was cut short: storing it would register
    // a program that does not exist.
    if (length >= MAX_PATH) return ERROR_INSUFFICIENT_BUFFER;
    path.assign(buffer, length);
    return 0;
  }

 private:
  HKEY m_key = nullptr;
};

}  // namespace

RunKey& RunKey::Platform() {
  static WindowsRunKey key;
  return key;
}

}  // namespace veltraw
