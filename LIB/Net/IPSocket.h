// A thin object layer over IPv4 sockets. Each socket object holds one start-up
// of the socket library for its lifetime. Failures that leave a socket
// unusable raise IPException; the rest are a false result and a log entry.
// Error numbers are WinSock's on every platform.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace veltraw {

// The WinSock error numbers this layer tells apart.
namespace wsa {
constexpr int32_t kInterrupted = 10004;         // WSAEINTR
constexpr int32_t kWouldBlock = 10035;          // WSAEWOULDBLOCK
constexpr int32_t kMessageSize = 10040;         // WSAEMSGSIZE: datagram longer than the buffer
constexpr int32_t kAddressInUse = 10048;        // WSAEADDRINUSE
constexpr int32_t kNetworkUnreachable = 10051;  // WSAENETUNREACH
constexpr int32_t kConnectionReset = 10054;     // WSAECONNRESET: an earlier datagram was refused
constexpr int32_t kNotConnected = 10057;        // WSAENOTCONN
constexpr int32_t kTimedOut = 10060;            // WSAETIMEDOUT: the receive timeout ran out
constexpr int32_t kConnectionRefused = 10061;   // WSAECONNREFUSED
constexpr int32_t kHostUnreachable = 10065;     // WSAEHOSTUNREACH
}  // namespace wsa

// The socket handle as the platform has it (SOCKET or a file descriptor).
using SocketHandle = uintptr_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};

// An IPv4 socket address in wire form, laid out like sockaddr_in (16 bytes).
struct SocketAddress {
  uint16_t family = 0;      // AF_INET once resolved
  uint8_t port[2] = {};     // network byte order
  uint8_t address[4] = {};  // network byte order
  uint8_t zero[8] = {};
};
static_assert(sizeof(SocketAddress) == 16, "SocketAddress must match sockaddr_in");

class IPException : public std::exception {
 public:
  // message: context + "; error 0x%x (%d)" of errorCode.
  IPException(const std::string& context, int32_t errorCode);
  const char* what() const noexcept override { return message.c_str(); }

  std::string message;
  int32_t errorCode;  // WinSock error number
};

class IPSocket {
 public:
  // No socket yet. Throws std::runtime_error when the socket library cannot
  // start.
  explicit IPSocket(uint16_t port);
  virtual bool Close();
  virtual ~IPSocket();
  IPSocket(const IPSocket&) = delete;
  IPSocket& operator=(const IPSocket&) = delete;

  // Makes a socket unless one is open; false if the system refuses.
  bool Open(bool stream);
  // Receive timeout in milliseconds (0: wait for ever); raises IPException.
  void SetTimeout(int32_t ms);
  // Binds to a local address (host may be a dotted address), for listeners.
  bool Bind(const std::string& host, uint16_t localPort);
  // Shuts both directions, waking a blocked receive.
  void Unblock();
  // The host's first IPv4 address with this socket's port; false (logged) if
  // the name does not resolve. Dotted addresses resolve the same way.
  bool Resolve(const std::string& host, SocketAddress& address, uint16_t port);
  // "a.b.c.d:port"
  static std::string AddressText(const SocketAddress& address);
  // The calling thread's last socket error (a WinSock number) and its text.
  static int32_t LastError();
  static std::string LastErrorText();

  SocketHandle Handle() const { return m_sock; }
  bool IsOpen() const { return m_sock != kInvalidSocket; }
  bool Terminated() const { return terminated; }

 protected:
  SocketHandle m_sock = kInvalidSocket;
  uint16_t port;  // the remote port of every address this socket resolves
  // Set by Close and by a receive that failed unexpectedly.
  bool terminated = false;
};

}  // namespace veltraw
