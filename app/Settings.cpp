#include "app/Settings.h"

namespace veltraw::setting {

std::string serverValueName(int32_t number) { return "Server" + std::to_string(number); }

std::string testServerValueName(int32_t number) { return "TestServer" + std::to_string(number); }

}  // namespace veltraw::setting
