#include "LIB/Net/UDPSocket.h"

#include <cstring>
#include <vector>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Net/SocketPlatform.h"

namespace veltraw {

UDPSocket::UDPSocket(uint16_t port) : IPSocket(port) {}

UDPSocket::UDPSocket(const std::string& host, uint16_t port) : IPSocket(port) {
  // Connected, the system passes on only the server's datagrams and reports
  // a refused request on the next receive instead of letting it time out.
  SocketAddress address;
  if (Resolve(host, address, port) && ConnectTo(address)) return;
  Discard();
}

namespace {

bool SameAddress(const SocketAddress& a, const SocketAddress& b) {
  return a.family == b.family && std::memcmp(a.port, b.port, sizeof a.port) == 0 &&
         std::memcmp(a.address, b.address, sizeof a.address) == 0 && a.scopeId == b.scopeId;
}

}  // namespace

bool UDPSocket::ConnectTo(const SocketAddress& address) {
  if (m_sock != kInvalidSocket && m_connected && SameAddress(m_peer, address)) return true;
  if (m_sock != kInvalidSocket && m_family != address.family) Discard();
  m_connected = false;
  if (!Open(false, address.family)) return false;
  if (net::Connect(m_sock, address) != 0) return false;
  m_connected = true;
  m_peer = address;
  return true;
}

bool UDPSocket::Close() {
  m_connected = false;
  return IPSocket::Close();
}

bool UDPSocket::SendTo(const std::string& host, const void* data, int32_t length) {
  SocketAddress address;
  if (!Resolve(host, address, port)) {
    ErrorLog::instance().begin(Warning) << "Unable to determine address of " << host << End;
    return false;
  }
  return SendToAddress(address, data, length);
}

bool UDPSocket::SendToAddress(const SocketAddress& address, const void* data, int32_t length) {
  if (net::SendTo(m_sock, address, data, length) >= 0) return true;
  const int32_t error = LastError();
  ErrorLog::instance().begin(Warning)
      << "Unable to UDP sendto " << error << ":" << net::ErrorText(error) << End;
  return false;
}

bool UDPSocket::ReceiveFrom(char* fromText, int32_t fromTextSize, void* buffer, int32_t size,
                            int32_t& length) {
  if (fromText != nullptr && fromTextSize > 0) fromText[0] = '\0';
  const int32_t count = net::ReceiveFrom(m_sock, buffer, size, from, arrivalAgeNs, m_timeoutMs);
  if (count < 0) {
    const int32_t error = LastError();
    switch (error) {
      case wsa::kInterrupted:
        ErrorLog::instance().begin(Detail) << "recvfrom interrupted by signal (EINTR)" << End;
        return false;
      case wsa::kConnectionReset:
        ErrorLog::instance().begin(Detail)
            << "recvfrom detected previous sendto packet failed to reach host (ECONNRESET)" << End;
        return false;
      case wsa::kTimedOut:
        return false;
      default:
        terminated = true;
        throw IPException("UDPSocket::ReceiveFrom::recvfrom", error);
    }
  }
  if (count == 0) {
    ErrorLog::instance().begin(Detail) << "recvfrom closed by remote side (count=0)" << End;
    return false;
  }
  length = count;
  if (fromText != nullptr && fromTextSize > 0) {
    const std::string text = AddressText(from);
    const size_t room = static_cast<size_t>(fromTextSize) - 1;
    const size_t n = text.size() < room ? text.size() : room;
    std::memcpy(fromText, text.data(), n);
    fromText[n] = '\0';
  }
  return true;
}

MulticastUDPSocket::MulticastUDPSocket(const std::string& host, uint16_t port) : UDPSocket(port) {
  // Unconnected on purpose: the members of the group answer from their own
  // unicast addresses. Groups are IPv4 ones.
  std::vector<SocketAddress> addresses;
  if (!ResolveAll(host, addresses, port, AddressFamily::IPv4)) {
    ErrorLog::instance().begin(Error)
        << "Unable to determine multicast destination: " << host << End;
    group = SocketAddress();
    return;
  }
  group = addresses.front();
  if ((group.address[0] & 0xF0) != 0xE0) {
    // The address as the system holds it in memory: first byte least significant.
    const unsigned int inMemory = group.address[0] | (group.address[1] << 8) |
                                  (group.address[2] << 16) |
                                  (static_cast<unsigned int>(group.address[3]) << 24);
    ErrorLog::instance().begin(Error)
        << "Given addr is not multicast: " << host << " = " << inMemory << End;
    group = SocketAddress();
  }
}

}  // namespace veltraw
