// Addresses in the system's own form (sockaddr_in, sockaddr_in6), which BSD
// sockets and WinSock lay out alike. Included by the socket platform files
// after their platform's socket headers, which declare those forms.
#pragma once

#include <cstring>

#include "LIB/Net/IPSocket.h"

namespace veltraw::net {

inline int SystemFamily(AddressFamily family) {
  return family == AddressFamily::IPv6 ? AF_INET6 : AF_INET;
}

// The system's form of address; its length, 0 for an address of no family.
inline int ToSockaddr(const SocketAddress& address, sockaddr_storage& system) {
  system = sockaddr_storage{};
  if (address.family == AddressFamily::IPv4) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    std::memcpy(&v4.sin_port, address.port, 2);
    std::memcpy(&v4.sin_addr, address.address, 4);
    std::memcpy(&system, &v4, sizeof v4);
    return sizeof v4;
  }
  if (address.family == AddressFamily::IPv6) {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    std::memcpy(&v6.sin6_port, address.port, 2);
    std::memcpy(&v6.sin6_addr, address.address, 16);
    v6.sin6_scope_id = address.scopeId;
    std::memcpy(&system, &v6, sizeof v6);
    return sizeof v6;
  }
  return 0;
}

inline SocketAddress FromSockaddr(const sockaddr_storage& system) {
  SocketAddress address;
  if (system.ss_family == AF_INET) {
    sockaddr_in v4;
    std::memcpy(&v4, &system, sizeof v4);
    address.family = AddressFamily::IPv4;
    std::memcpy(address.port, &v4.sin_port, 2);
    std::memcpy(address.address, &v4.sin_addr, 4);
  } else if (system.ss_family == AF_INET6) {
    sockaddr_in6 v6;
    std::memcpy(&v6, &system, sizeof v6);
    address.family = AddressFamily::IPv6;
    std::memcpy(address.port, &v6.sin6_port, 2);
    std::memcpy(address.address, &v6.sin6_addr, 16);
    address.scopeId = v6.sin6_scope_id;
  }
  return address;
}

}  // namespace veltraw::net
