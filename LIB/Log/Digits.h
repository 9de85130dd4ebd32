// Integer text in a radix from 2 to 36 (digits 0-9, then A-Z). Unchecked:
// the log's integer append passes only radixes it set itself; IntToAscii
// (LIB/String) is the checked form for everyone else.
#pragma once

#include <cstdint>

namespace veltraw {

// buffer must hold 33 characters for radix 2 (34 for a negative value).
// Returns buffer.
char* writeDigits(uint32_t value, char* buffer, uint32_t radix);
// "-" and the magnitude for a negative value; the most negative value too.
char* writeSignedDigits(int32_t value, char* buffer, uint32_t radix);

}  // namespace veltraw
