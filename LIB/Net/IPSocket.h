// A thin object layer over IPv4 and IPv6 sockets. Each socket object holds one start-up
// of the socket library for its lifetime. Failures that leave a socket
// unusable raise IPException; the rest are a false result and a log entry.
// Error numbers are WinSock's on every platform.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

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

enum class AddressFamily : uint16_t { None, IPv4, IPv6 };

// A socket address of either family in wire form; the platform layer turns
// it into the system's own.
struct SocketAddress {
  AddressFamily family = AddressFamily::None;  // None until resolved
  uint8_t port[2] = {};                        // network byte order
  uint8_t address[16] = {};                    // network byte order; IPv4 uses the first four
  uint32_t scopeId = 0;                        // IPv6: the interface of a link-local address
};

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

  // Makes a socket unless one is open; false if the system refuses. An IPv4
  // socket unless another family is asked for.
  bool Open(bool stream);
  bool Open(bool stream, AddressFamily family);
  // Receive timeout in milliseconds (0: wait for ever); raises IPException.
  // A socket that the object makes later gets the same timeout.
  void SetTimeout(int32_t ms);
  // Binds to a local address (host may be a dotted address), for listeners.
  bool Bind(const std::string& host, uint16_t localPort);
  // Shuts both directions, waking a blocked receive.
  void Unblock();
  // The host's first address in the resolver's order, with port; false
  // (logged) if the name does not resolve. Dotted IPv4 and IPv6 addresses
  // resolve the same way; an IPv6 address may stand in brackets.
  bool Resolve(const std::string& host, SocketAddress& address, uint16_t port);
  // Every address of the host in the resolver's order, or only those of one
  // family; false (logged) when there is none.
  bool ResolveAll(const std::string& host, std::vector<SocketAddress>& addresses, uint16_t port,
                  AddressFamily only = AddressFamily::None);
  // The host as the resolver takes it: "[2001:db8::1]" is 2001:db8::1.
  static std::string ResolverName(const std::string& host);
  // "a.b.c.d:port", or "[IPv6 address]:port" in the short form of RFC 5952.
  static std::string AddressText(const SocketAddress& address);
  // The calling thread's last socket error (a WinSock number) and its text.
  static int32_t LastError();
  static std::string LastErrorText();

  SocketHandle Handle() const { return m_sock; }
  bool IsOpen() const { return m_sock != kInvalidSocket; }
  bool Terminated() const { return terminated; }
  AddressFamily Family() const { return m_family; }
  // The receive timeout as last set, in milliseconds; -1 before any.
  int32_t Timeout() const { return m_timeoutMs; }

 protected:
  // Closes the handle, if any, without marking the object terminated.
  void Discard();

  SocketHandle m_sock = kInvalidSocket;
  AddressFamily m_family = AddressFamily::None;  // of m_sock
  int32_t m_timeoutMs = -1;                      // as last set; -1: never set
  uint16_t port;  // the remote port of every address this socket resolves
  // Set by Close and by a receive that failed unexpectedly.
  bool terminated = false;
};

}  // namespace veltraw
