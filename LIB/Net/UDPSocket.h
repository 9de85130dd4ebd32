// Datagram sockets: unicast over IPv4 or IPv6 (connected to the server so
// that a refused request shows at once) and IPv4 multicast (unconnected, so
// that members of the group can answer from their own addresses).
#pragma once

#include <cstdint>
#include <string>

#include "LIB/Net/IPSocket.h"

namespace veltraw {

class UDPSocket : public IPSocket {
 public:
  // No socket yet; Open(false) makes an unconnected one.
  explicit UDPSocket(uint16_t port);
  // A socket connected to host:port, at the host's first address. When the
  // name does not resolve or the connection is refused there is no socket
  // afterwards (nothing is raised); Open(false) then makes an unconnected one.
  UDPSocket(const std::string& host, uint16_t port);

  // Connects to address, first replacing the socket by one of the address's
  // family if it has another (or making one). False when the system refuses
  // either; the socket, if made, is then left unconnected. Nothing is done
  // when the socket is connected to address already.
  bool ConnectTo(const SocketAddress& address);
  bool Close() override;

  // Resolves host (with this socket's port) and sends one datagram; false,
  // logged, when the name does not resolve or the send fails.
  bool SendTo(const std::string& host, const void* data, int32_t length);
  bool SendToAddress(const SocketAddress& address, const void* data, int32_t length);

  // Waits for one datagram up to the timeout of SetTimeout. True with the
  // datagram in buffer, its byte count in length and the sender's address
  // text in fromText (cut to fromTextSize - 1 characters). False when nothing
  // arrived: timeout, interruption, an earlier datagram refused, or an empty
  // datagram. Any other error, a datagram longer than size included, sets
  // the terminated flag and raises IPException.
  bool ReceiveFrom(char* fromText, int32_t fromTextSize, void* buffer, int32_t size,
                   int32_t& length);

  // The sender of the last datagram received.
  const SocketAddress& From() const { return from; }
  // How long before ReceiveFrom returned its datagram had reached the
  // machine, in nanoseconds; 0 where the system does not say.
  int64_t ArrivalAgeNs() const { return arrivalAgeNs; }

 protected:
  SocketAddress from;
  int64_t arrivalAgeNs = 0;
  bool m_connected = false;
  SocketAddress m_peer;  // while m_connected
};

class MulticastUDPSocket : public UDPSocket {
 public:
  // An unconnected socket for sending to a multicast group. group is cleared
  // (and the reason logged) when host does not resolve to a multicast address;
  // the socket is usable all the same.
  MulticastUDPSocket(const std::string& host, uint16_t port);

  const SocketAddress& Group() const { return group; }

 protected:
  SocketAddress group;
};

}  // namespace veltraw
