#include "net/ArrivalStamps.h"

namespace veltraw::test {
// WinSock stamps arrivals only where the system and the network driver
// support it; Wine does not.
const bool kSystemStampsArrivals = false;
}  // namespace veltraw::test
