#include "LIB/String/IntToAscii.h"

#include <algorithm>

#include "LIB/Log/Failure.h"

namespace veltraw {

char* IntToAscii(uint32_t value, char* buffer, int32_t radix) {
  if (radix == 0) assertionFailed("base!=0", "LIB/String/IntToAscii", 27);
  const auto base = static_cast<uint32_t>(radix);
  char* p = buffer;
  do {
    const uint32_t digit = value % base;
    *p++ = static_cast<char>(digit < 10 ? '0' + digit : 'A' + (digit - 10));
    value /= base;
  } while (value != 0);
  *p = '\0';
  std::reverse(buffer, p);
  return buffer;
}

char* IntToAscii(int32_t value, char* buffer, int32_t radix) {
  if (radix == 0) assertionFailed("base!=0", "LIB/String/IntToAscii", 59);
  if (value < 0) {
    buffer[0] = '-';
    // The magnitude as unsigned, so that the most negative value comes out right.
    IntToAscii(0u - static_cast<uint32_t>(value), buffer + 1, radix);
    return buffer;
  }
  return IntToAscii(static_cast<uint32_t>(value), buffer, radix);
}

}  // namespace veltraw
