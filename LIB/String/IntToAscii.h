// Integer to text in any radix from 2 to 36 (digits 0-9, then A-Z).
#pragma once

#include <cstdint>

namespace veltraw {

// buffer must hold 33 characters for radix 2 (34 for a negative value).
// Returns buffer. A radix of 0 is a broken rule (assertion).
char* IntToAscii(uint32_t value, char* buffer, int32_t radix);
char* IntToAscii(int32_t value, char* buffer, int32_t radix);

}  // namespace veltraw
