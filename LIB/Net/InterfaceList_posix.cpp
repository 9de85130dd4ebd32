// The interface list from getifaddrs.
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "LIB/Log/Failure.h"
#include "LIB/Net/InterfaceList.h"

namespace veltraw {

namespace {

Ipv4Address AddressOf(const sockaddr* address) {
  Ipv4Address bytes{};
  if (address != nullptr && address->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    std::memcpy(bytes.data(), &in->sin_addr, bytes.size());
  }
  return bytes;
}

}  // namespace

bool ListInterfaces(std::vector<NetworkInterface>& interfaces, std::string& errorText) {
  interfaces.clear();
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    errorText = lastErrorText();
    return false;
  }
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    NetworkInterface found;
    found.address = AddressOf(entry->ifa_addr);
    found.netmask = AddressOf(entry->ifa_netmask);
    found.up = (entry->ifa_flags & IFF_UP) != 0;
    found.multicast = (entry->ifa_flags & IFF_MULTICAST) != 0;
    interfaces.push_back(found);
  }
  freeifaddrs(list);
  return true;
}

}  // namespace veltraw
