// The service's view of the system: the administrator's list of servers,
// name resolution with a limit, the PC's own interfaces, the clock right and
// the data folder.
#include <windows.h>
// Need the types of windows.h.
#include <sddl.h>
#include <shlobj.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "LIB/Log/Failure.h"
#include "service/ServiceParts_win32.h"

namespace veltraw {

namespace {

constexpr char kPolicyKey[] = "Software\\Orvantis\\Veltraw\\Service";
constexpr DWORD kMaxListBytes = 64 * 1024;
constexpr int32_t kResolveWaitMs = 3000;

// SYSTEM and administrators in full, the service's account (LocalService)
// may change files, users may read them.
constexpr char kDataFolderSddl[] =
    "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;LS)(A;OICI;FR;;;BU)";

}  // namespace

bool SystemServerEnvironment::AllowedServers(std::vector<std::string>& servers) {
  servers.clear();
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0, size = 0;
  LONG status = RegQueryValueExA(key, "AllowedServers", nullptr, &type, nullptr, &size);
  std::string data;
  if (status == ERROR_SUCCESS && type == REG_MULTI_SZ && size <= kMaxListBytes) {
    data.resize(size);
    status = RegQueryValueExA(key, "AllowedServers", nullptr, &type,
                              reinterpret_cast<BYTE*>(&data[0]), &size);
    data.resize(status == ERROR_SUCCESS ? size : 0);
  }
  // A list of another type or size, or one that cannot be read, is the
  // administrator's too: it allows nothing rather than everything.
  RegCloseKey(key);
  if (status == ERROR_FILE_NOT_FOUND) return false;
  size_t start = 0;
  while (start < data.size()) {
    const size_t end = data.find('\0', start);
    const std::string entry = data.substr(start, end == std::string::npos ? end : end - start);
    if (!entry.empty()) servers.push_back(entry);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

bool SystemServerEnvironment::Resolve(const std::string& name,
                                      std::vector<SocketAddress>& addresses) {
  // On a thread of its own: a resolver that hangs holds only that thread.
  struct Lookup {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool found = false;
    std::vector<SocketAddress> addresses;
  };
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, name] {
      std::vector<SocketAddress> found;
      bool ok = false;
      try {
        IPSocket socket(123);
        ok = socket.ResolveAll(name, found, 123);
      } catch (...) {
      }
      std::lock_guard<std::mutex> hold(lookup->lock);
      lookup->found = ok;
      lookup->addresses = found;
      lookup->finished = true;
      lookup->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  std::unique_lock<std::mutex> hold(lookup->lock);
  if (!lookup->done.wait_for(hold, std::chrono::milliseconds(kResolveWaitMs),
                             [&] { return lookup->finished; })) {
    return false;
  }
  addresses = lookup->addresses;
  return lookup->found;
}

bool SystemServerEnvironment::OwnInterfaces(std::vector<NetworkInterface>& interfaces) {
  std::string errorText;
  return ListInterfaces(interfaces, errorText);
}

bool EnableClockPrivilege(std::string& errorText) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    errorText = lastErrorText();
    return false;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool ok = LookupPrivilegeValueA(nullptr, SE_SYSTEMTIME_NAME, &privileges.Privileges[0].Luid) &&
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
            GetLastError() == ERROR_SUCCESS;  // not ERROR_NOT_ALL_ASSIGNED
  if (!ok) errorText = lastErrorText();
  CloseHandle(token);
  return ok;
}

bool MakeDataFolder(std::string& folder, std::string& errorText) {
  char base[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) {
    errorText = "no ProgramData folder";
    return false;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kDataFolderSddl, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    errorText = lastErrorText();
    return false;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  folder = std::string(base) + "\\Orvantis";
  CreateDirectoryA(folder.c_str(), nullptr);
  folder += "\\Veltraw";
  bool ok = CreateDirectoryA(folder.c_str(), &attributes) || GetLastError() == ERROR_ALREADY_EXISTS;
  // A folder that was there already (made by a user, perhaps) gets the same
  // rights and the administrators as its owner, so that its maker can no
  // longer change them. Only an administrator can do that: the setup does.
  if (ok && !SetFileSecurityA(folder.c_str(),
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              descriptor)) {
    ok = GetLastError() == ERROR_ACCESS_DENIED;
  }
  if (!ok) errorText = lastErrorText();
  LocalFree(descriptor);
  PSECURITY_DESCRIPTOR owner = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BA", SDDL_REVISION_1, &owner,
                                                           nullptr)) {
    SetFileSecurityA(folder.c_str(), OWNER_SECURITY_INFORMATION, owner);
    LocalFree(owner);
  }
  return ok;
}

}  // namespace veltraw
