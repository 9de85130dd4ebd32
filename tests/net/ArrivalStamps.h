// Whether the system stamps datagram arrivals (platform file).
#pragma once

namespace veltraw::test {
extern const bool kSystemStampsArrivals;
}
