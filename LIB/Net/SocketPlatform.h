// The system calls under IPSocket and UDPSocket, one implementation per
// platform. Every failure leaves a WinSock error number for LastError(), so
// that the code above sees the same numbers everywhere: on POSIX a receive
// timeout reads as WSAETIMEDOUT, a refused earlier datagram as WSAECONNRESET
// and a datagram longer than the buffer as WSAEMSGSIZE.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LIB/Net/IPSocket.h"

namespace veltraw::net {

// Socket library start-up and release, counted; 0 on success.
int32_t Startup();
int32_t Cleanup();

// kInvalidSocket on failure.
SocketHandle CreateSocket(bool stream, AddressFamily family);
// The calls below return 0 on success and -1 (SOCKET_ERROR) on failure.
int32_t CloseSocket(SocketHandle sock);
int32_t ShutdownBoth(SocketHandle sock);
int32_t SetReceiveTimeout(SocketHandle sock, int32_t ms);
int32_t Bind(SocketHandle sock, const SocketAddress& address);
int32_t Connect(SocketHandle sock, const SocketAddress& address);
// Bytes sent, or -1.
int32_t SendTo(SocketHandle sock, const SocketAddress& address, const void* data, int32_t length);
// Bytes received, or -1; a datagram longer than size fails with WSAEMSGSIZE.
// ageNs: how long before the call returned the datagram reached the machine,
// as far as the platform can tell (0 where it cannot). timeoutMs: the receive
// timeout in force (0: none; below 0: never set), which bounds any waiting
// the platform does before it blocks.
int32_t ReceiveFrom(SocketHandle sock, void* buffer, int32_t size, SocketAddress& from,
                    int64_t& ageNs, int32_t timeoutMs);

// Every address of name (family, address and scope; no port) in the
// resolver's order, of one family unless only is None; false if the name does
// not resolve. name is a host name or an IPv4 or IPv6 address without brackets.
bool ResolveHost(const std::string& name, AddressFamily only,
                 std::vector<SocketAddress>& addresses);

int32_t LastError();
// The C library's text for an error number.
std::string ErrorText(int32_t error);

}  // namespace veltraw::net
