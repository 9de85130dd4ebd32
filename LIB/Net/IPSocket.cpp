#include "LIB/Net/IPSocket.h"

#include <cstdio>
#include <stdexcept>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Net/SocketPlatform.h"

namespace veltraw {

IPException::IPException(const std::string& context, int32_t errorCode) : errorCode(errorCode) {
  char tail[48];
  std::snprintf(tail, sizeof tail, "; error 0x%x (%d)", static_cast<unsigned int>(errorCode),
                static_cast<int>(errorCode));
  message = context + tail;
}

IPSocket::IPSocket(uint16_t port) : port(port) {
  terminated = false;
  m_sock = kInvalidSocket;
  // A start-up that failed holds nothing, so there is nothing to release
  // (releasing would drop a count that another socket holds).
  if (net::Startup() != 0) {
    throw std::runtime_error("IPSocket failed to initialize WinSock; require Winsock 2.0");
  }
}

IPSocket::~IPSocket() {
  if (!IPSocket::Close()) ErrorLog::instance().begin(Severe) << "~IPSocket failed to Close" << End;
  if (net::Cleanup() != 0) {
    ErrorLog::instance().begin(Severe) << "~IPSocket failed to cleanup WinSock" << End;
  }
}

bool IPSocket::Open(bool stream) { return Open(stream, AddressFamily::IPv4); }

bool IPSocket::Open(bool stream, AddressFamily family) {
  if (m_sock != kInvalidSocket) return true;
  m_sock = net::CreateSocket(stream, family);
  if (m_sock == kInvalidSocket) return false;
  m_family = family;
  // A socket made after SetTimeout waits as long as the one before it.
  if (m_timeoutMs >= 0) net::SetReceiveTimeout(m_sock, m_timeoutMs);
  return true;
}

void IPSocket::SetTimeout(int32_t ms) {
  if (net::SetReceiveTimeout(m_sock, ms) != 0) {
    throw IPException("IPSocket::SetTimeout::setsockopt", LastError());
  }
  m_timeoutMs = ms;
}

void IPSocket::Discard() {
  if (m_sock == kInvalidSocket) return;
  net::CloseSocket(m_sock);
  m_sock = kInvalidSocket;
  m_family = AddressFamily::None;
}

void IPSocket::Unblock() {
  if (net::ShutdownBoth(m_sock) == 0) return;
  const int32_t error = LastError();
  // An unconnected datagram socket has nothing to shut down.
  if (error == wsa::kNotConnected) return;
  ErrorLog::instance().begin(Detail)
      << "Unblock: shutdown failure " << error << ":" << net::ErrorText(error) << End;
}

bool IPSocket::Close() {
  terminated = true;
  if (m_sock == kInvalidSocket) return true;
  Unblock();
  const SocketHandle sock = m_sock;
  m_sock = kInvalidSocket;
  m_family = AddressFamily::None;
  if (net::CloseSocket(sock) != 0) {
    const int32_t error = LastError();
    ErrorLog::instance().begin(Error)
        << "closesocket error " << error << ":" << net::ErrorText(error) << End;
    return false;
  }
  return true;
}

bool IPSocket::Resolve(const std::string& host, SocketAddress& address, uint16_t port) {
  std::vector<SocketAddress> addresses;
  address = SocketAddress();
  if (!ResolveAll(host, addresses, port)) return false;
  address = addresses.front();
  return true;
}

bool IPSocket::ResolveAll(const std::string& host, std::vector<SocketAddress>& addresses,
                          uint16_t port, AddressFamily only) {
  addresses.clear();
  if (!net::ResolveHost(ResolverName(host), only, addresses) || addresses.empty()) {
    addresses.clear();
    ErrorLog::instance().begin(Severe) << "Unable to gethostbyname " << host << End;
    return false;
  }
  for (SocketAddress& address : addresses) {
    address.port[0] = static_cast<uint8_t>(port >> 8);
    address.port[1] = static_cast<uint8_t>(port & 0xff);
  }
  return true;
}

std::string IPSocket::ResolverName(const std::string& host) {
  // Brackets set an IPv6 address apart from a port; they are no part of it.
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    return host.substr(1, host.size() - 2);
  }
  return host;
}

bool IPSocket::Bind(const std::string& host, uint16_t localPort) {
  SocketAddress address;
  return Resolve(host, address, localPort) && net::Bind(m_sock, address) == 0;
}

namespace {

std::string DottedText(const uint8_t* bytes) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

// RFC 5952: groups in lower-case hexadecimal without leading zeros, the
// longest run of two or more zero groups (the first of equal runs) as "::".
std::string Ipv6Text(const uint8_t* bytes, uint32_t scopeId) {
  uint16_t groups[8];
  for (int i = 0; i < 8; ++i)
    groups[i] = static_cast<uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
  std::string text;
  const bool mapped = groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 &&
                      groups[4] == 0 && groups[5] == 0xffff;
  if (mapped) {
    text = "::ffff:" + DottedText(bytes + 12);
  } else {
    int runStart = -1;
    int runLength = 1;
    for (int i = 0; i < 8;) {
      int end = i;
      while (end < 8 && groups[end] == 0) ++end;
      if (end - i > runLength) {
        runStart = i;
        runLength = end - i;
      }
      i = end == i ? i + 1 : end;
    }
    for (int i = 0; i < 8; ++i) {
      if (i == runStart) {
        text += "::";
        i += runLength - 1;
        continue;
      }
      if (!text.empty() && text.back() != ':') text += ':';
      char group[8];
      std::snprintf(group, sizeof group, "%x", groups[i]);
      text += group;
    }
  }
  if (scopeId != 0) text += "%" + std::to_string(scopeId);
  return text;
}

}  // namespace

std::string IPSocket::AddressText(const SocketAddress& address) {
  const std::string port = std::to_string((address.port[0] << 8) | address.port[1]);
  if (address.family == AddressFamily::IPv6) {
    return "[" + Ipv6Text(address.address, address.scopeId) + "]:" + port;
  }
  return DottedText(address.address) + ":" + port;
}

int32_t IPSocket::LastError() { return net::LastError(); }

std::string IPSocket::LastErrorText() { return net::ErrorText(net::LastError()); }

}  // namespace veltraw
