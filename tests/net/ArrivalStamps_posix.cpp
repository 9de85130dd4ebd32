#include "net/ArrivalStamps.h"

namespace veltraw::test {
// Linux stamps every arrival (SO_TIMESTAMPNS).
const bool kSystemStampsArrivals = true;
}  // namespace veltraw::test
