// Error texts for errno values, the nearest thing to the Windows message table.
#include <cerrno>
#include <cstring>
#include <string>

#include "LIB/Log/Failure.h"

namespace veltraw {

bool systemErrorMessage(uint32_t code, std::string& message) {
  char buffer[256];
  // GNU strerror_r: returns the text, which may or may not be in buffer.
  const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) return false;
  message = text;
  return true;
}

uint32_t lastErrorCode() { return static_cast<uint32_t>(errno); }

}  // namespace veltraw
