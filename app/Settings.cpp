#include "app/Settings.h"

namespace veltraw::setting {

std::string serverValueName(int32_t number) { return "Server" + std::to_string(number); }

void storeFoundServer(SettingsKey& settings, const std::string& host) {
  settings.write(Server1, host);
  if (settings.read(Servers) < 1) settings.write(Servers, 1);
}

std::string testServerValueName(int32_t number) { return "TestServer" + std::to_string(number); }

}  // namespace veltraw::setting
