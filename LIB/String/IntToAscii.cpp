#include "LIB/String/IntToAscii.h"

#include "LIB/Log/Digits.h"
#include "LIB/Log/Failure.h"

namespace veltraw {

char* IntToAscii(uint32_t value, char* buffer, int32_t radix) {
  if (radix == 0) assertionFailed("base!=0", "LIB/String/IntToAscii", 27);
  return writeDigits(value, buffer, static_cast<uint32_t>(radix));
}

char* IntToAscii(int32_t value, char* buffer, int32_t radix) {
  if (radix == 0) assertionFailed("base!=0", "LIB/String/IntToAscii", 59);
  return writeSignedDigits(value, buffer, static_cast<uint32_t>(radix));
}

}  // namespace veltraw
