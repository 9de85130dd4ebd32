// WinSock behind the socket layer.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "LIB/Net/SocketPlatform.h"

namespace veltraw::net {

namespace {

SOCKET Native(SocketHandle sock) { return static_cast<SOCKET>(sock); }

sockaddr_in ToSockaddr(const SocketAddress& address) {
  sockaddr_in result;
  static_assert(sizeof result == sizeof address, "sockaddr_in is 16 bytes");
  std::memcpy(&result, &address, sizeof result);
  return result;
}

}  // namespace

int32_t Startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data);
}

int32_t Cleanup() { return WSACleanup() == 0 ? 0 : -1; }

SocketHandle CreateSocket(bool stream) {
  const SOCKET sock = socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
  return sock == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(sock);
}

int32_t CloseSocket(SocketHandle sock) { return closesocket(Native(sock)) == 0 ? 0 : -1; }

int32_t ShutdownBoth(SocketHandle sock) { return shutdown(Native(sock), SD_BOTH) == 0 ? 0 : -1; }

int32_t SetReceiveTimeout(SocketHandle sock, int32_t ms) {
  const DWORD value = static_cast<DWORD>(ms);
  return setsockopt(Native(sock), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value),
                    sizeof value) == 0
             ? 0
             : -1;
}

int32_t Bind(SocketHandle sock, const SocketAddress& address) {
  const sockaddr_in local = ToSockaddr(address);
  return bind(Native(sock), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 ? 0 : -1;
}

int32_t Connect(SocketHandle sock, const SocketAddress& address) {
  const sockaddr_in to = ToSockaddr(address);
  return connect(Native(sock), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ? 0 : -1;
}

int32_t SendTo(SocketHandle sock, const SocketAddress& address, const void* data, int32_t length) {
  const sockaddr_in to = ToSockaddr(address);
  const int sent = sendto(Native(sock), static_cast<const char*>(data), length, 0,
                          reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent == SOCKET_ERROR ? -1 : sent;
}

int32_t ReceiveFrom(SocketHandle sock, void* buffer, int32_t size, SocketAddress& from,
                    int64_t& ageNs) {
  ageNs = 0;  // WinSock does not stamp arrivals
  sockaddr_in sender{};
  int senderSize = sizeof sender;
  const int count = recvfrom(Native(sock), static_cast<char*>(buffer), size, 0,
                             reinterpret_cast<sockaddr*>(&sender), &senderSize);
  if (count == SOCKET_ERROR) {
    // Windows reports a refused earlier datagram as WSAECONNRESET; Wine passes
    // on the host's "connection refused". Both mean the same to the caller.
    if (WSAGetLastError() == WSAECONNREFUSED) WSASetLastError(WSAECONNRESET);
    return -1;
  }
  std::memcpy(static_cast<void*>(&from), &sender, sizeof from);
  return count;
}

bool ResolveHost(const std::string& host, SocketAddress& address) {
  // WinSock keeps the host entry per thread, so request threads may resolve at once.
  const hostent* entry = gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
      entry->h_addr_list[0] == nullptr) {
    return false;
  }
  address.family = static_cast<uint16_t>(entry->h_addrtype);
  std::memcpy(address.address, entry->h_addr_list[0], 4);
  return true;
}

int32_t LastError() { return WSAGetLastError(); }

std::string ErrorText(int32_t error) { return std::strerror(error); }

}  // namespace veltraw::net
