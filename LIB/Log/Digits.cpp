#include "LIB/Log/Digits.h"

#include <algorithm>

namespace veltraw {

char* writeDigits(uint32_t value, char* buffer, uint32_t radix) {
  char* p = buffer;
  do {
    const uint32_t digit = value % radix;
    *p++ = static_cast<char>(digit < 10 ? '0' + digit : 'A' + (digit - 10));
    value /= radix;
  } while (value != 0);
  *p = '\0';
  std::reverse(buffer, p);
  return buffer;
}

char* writeSignedDigits(int32_t value, char* buffer, uint32_t radix) {
  if (value >= 0) return writeDigits(static_cast<uint32_t>(value), buffer, radix);
  buffer[0] = '-';
  // The magnitude as unsigned, so that the most negative value comes out right.
  writeDigits(0u - static_cast<uint32_t>(value), buffer + 1, radix);
  return buffer;
}

}  // namespace veltraw
