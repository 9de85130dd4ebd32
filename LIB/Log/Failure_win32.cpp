// Windows error texts from the system's message table.
#include <windows.h>

#include <string>

#include "LIB/Log/Failure.h"

namespace veltraw {

bool systemErrorMessage(uint32_t code, std::string& message) {
  char* buffer = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  const DWORD length =
      FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<char*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return false;
  message.assign(buffer, length);
  LocalFree(buffer);
  return true;
}

uint32_t lastErrorCode() { return GetLastError(); }

}  // namespace veltraw
