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

bool IPSocket::Open(bool stream) {
  if (m_sock != kInvalidSocket) return true;
  m_sock = net::CreateSocket(stream);
  return m_sock != kInvalidSocket;
}

void IPSocket::SetTimeout(int32_t ms) {
  if (net::SetReceiveTimeout(m_sock, ms) != 0) {
    throw IPException("IPSocket::SetTimeout::setsockopt", LastError());
  }
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
  if (net::CloseSocket(sock) != 0) {
    const int32_t error = LastError();
    ErrorLog::instance().begin(Error)
        << "closesocket error " << error << ":" << net::ErrorText(error) << End;
    return false;
  }
  return true;
}

bool IPSocket::Resolve(const std::string& host, SocketAddress& address, uint16_t port) {
  address = SocketAddress();
  if (!net::ResolveHost(host, address)) {
    ErrorLog::instance().begin(Severe) << "Unable to gethostbyname " << host << End;
    return false;
  }
  address.port[0] = static_cast<uint8_t>(port >> 8);
  address.port[1] = static_cast<uint8_t>(port & 0xff);
  return true;
}

bool IPSocket::Bind(const std::string& host, uint16_t localPort) {
  SocketAddress address;
  return Resolve(host, address, localPort) && net::Bind(m_sock, address) == 0;
}

std::string IPSocket::AddressText(const SocketAddress& address) {
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d:%d", address.address[0], address.address[1],
                address.address[2], address.address[3], (address.port[0] << 8) | address.port[1]);
  return text;
}

int32_t IPSocket::LastError() { return net::LastError(); }

std::string IPSocket::LastErrorText() { return net::ErrorText(net::LastError()); }

}  // namespace veltraw
