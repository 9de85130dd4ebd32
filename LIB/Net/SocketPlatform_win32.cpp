// WinSock behind the socket layer.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "LIB/Net/SocketPlatform.h"

namespace veltraw::net {

namespace {

SOCKET Native(SocketHandle sock) { return static_cast<SOCKET>(sock); }

int SystemFamily(AddressFamily family) {
  return family == AddressFamily::IPv6 ? AF_INET6 : AF_INET;
}

// The system's form of address; its length, 0 for an address of no family.
int ToSockaddr(const SocketAddress& address, sockaddr_storage& system) {
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

SocketAddress FromSockaddr(const sockaddr_storage& system) {
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

int SetTimeoutMs(SOCKET sock, DWORD ms) {
  return setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

}  // namespace

int32_t Startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data);
}

int32_t Cleanup() { return WSACleanup() == 0 ? 0 : -1; }

SocketHandle CreateSocket(bool stream, AddressFamily family) {
  const SOCKET sock = socket(SystemFamily(family), stream ? SOCK_STREAM : SOCK_DGRAM, 0);
  return sock == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(sock);
}

int32_t CloseSocket(SocketHandle sock) { return closesocket(Native(sock)) == 0 ? 0 : -1; }

int32_t ShutdownBoth(SocketHandle sock) { return shutdown(Native(sock), SD_BOTH) == 0 ? 0 : -1; }

int32_t SetReceiveTimeout(SocketHandle sock, int32_t ms) {
  return SetTimeoutMs(Native(sock), static_cast<DWORD>(ms)) == 0 ? 0 : -1;
}

int32_t Bind(SocketHandle sock, const SocketAddress& address) {
  sockaddr_storage local;
  const int size = ToSockaddr(address, local);
  return bind(Native(sock), reinterpret_cast<const sockaddr*>(&local), size) == 0 ? 0 : -1;
}

int32_t Connect(SocketHandle sock, const SocketAddress& address) {
  sockaddr_storage to;
  const int size = ToSockaddr(address, to);
  return connect(Native(sock), reinterpret_cast<const sockaddr*>(&to), size) == 0 ? 0 : -1;
}

int32_t SendTo(SocketHandle sock, const SocketAddress& address, const void* data, int32_t length) {
  sockaddr_storage to;
  const int size = ToSockaddr(address, to);
  const int sent = sendto(Native(sock), static_cast<const char*>(data), length, 0,
                          reinterpret_cast<const sockaddr*>(&to), size);
  return sent == SOCKET_ERROR ? -1 : sent;
}

int32_t ReceiveFrom(SocketHandle sock, void* buffer, int32_t size, SocketAddress& from,
                    int64_t& ageNs, int32_t /*timeoutMs*/) {
  ageNs = 0;  // WinSock does not stamp arrivals
  sockaddr_storage sender{};
  int senderSize = sizeof sender;
  const int count = recvfrom(Native(sock), static_cast<char*>(buffer), size, 0,
                             reinterpret_cast<sockaddr*>(&sender), &senderSize);
  if (count == SOCKET_ERROR) {
    // Windows reports a refused earlier datagram as WSAECONNRESET; Wine passes
    // on the host's "connection refused". Both mean the same to the caller.
    if (WSAGetLastError() == WSAECONNREFUSED) WSASetLastError(WSAECONNRESET);
    return -1;
  }
  from = FromSockaddr(sender);
  return count;
}

bool ResolveHost(const std::string& name, AddressFamily only,
                 std::vector<SocketAddress>& addresses) {
  addrinfo hints = {};
  hints.ai_family = only == AddressFamily::None ? AF_UNSPEC : SystemFamily(only);
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return false;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_addr == nullptr || entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    sockaddr_storage system{};
    std::memcpy(&system, entry->ai_addr, entry->ai_addrlen);
    const SocketAddress address = FromSockaddr(system);
    if (address.family != AddressFamily::None) addresses.push_back(address);
  }
  freeaddrinfo(found);
  return !addresses.empty();
}

int32_t LastError() { return WSAGetLastError(); }

std::string ErrorText(int32_t error) { return std::strerror(error); }

}  // namespace veltraw::net
