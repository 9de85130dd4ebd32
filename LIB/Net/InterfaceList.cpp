#include "LIB/Net/InterfaceList.h"

#include <algorithm>

namespace veltraw {

std::string DottedAddress(const Ipv4Address& address) {
  return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
         std::to_string(address[2]) + "." + std::to_string(address[3]);
}

ListingAttempt ListIntoGrowingBuffer(
    std::vector<uint8_t>& buffer, size_t initialSize, size_t maxSize,
    const std::function<ListingAttempt(std::vector<uint8_t>& buffer, size_t& used)>& attempt) {
  size_t size = std::min(initialSize, maxSize);
  for (;;) {
    buffer.assign(size, 0);
    size_t used = 0;
    const ListingAttempt outcome = attempt(buffer, used);
    if (outcome == ListingAttempt::Done) {
      buffer.resize(std::min(used, size));
      return outcome;
    }
    if (outcome == ListingAttempt::Failed || size >= maxSize) {
      buffer.clear();
      return outcome;
    }
    size = std::min(size * 2, maxSize);
  }
}

}  // namespace veltraw
