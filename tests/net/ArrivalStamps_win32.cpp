#include "net/ArrivalStamps.h"

namespace veltraw::test {
// WinSock does not stamp arrivals.
const bool kSystemStampsArrivals = false;
}  // namespace veltraw::test
