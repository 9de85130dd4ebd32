// BSD sockets behind the socket layer, with errno turned into the WinSock
// numbers that the layer above tells apart.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "LIB/Net/SocketPlatform.h"
#include "LIB/Net/SystemAddress.h"

namespace veltraw::net {

namespace {

thread_local int32_t t_lastError = 0;

int32_t WinSockNumber(int error) {
  switch (error) {
    case EINTR:
      return wsa::kInterrupted;
    case EBADF:
      return 10038;  // WSAENOTSOCK
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EAGAIN:
      return wsa::kWouldBlock;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return wsa::kMessageSize;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return wsa::kAddressInUse;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return wsa::kNetworkUnreachable;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return wsa::kConnectionReset;
    case ENOBUFS:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return wsa::kNotConnected;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return wsa::kTimedOut;
    case ECONNREFUSED:
      return wsa::kConnectionRefused;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return wsa::kHostUnreachable;
    default:
      return error;
  }
}

int32_t Fail(int32_t wsaError) {
  t_lastError = wsaError;
  return -1;
}

int Descriptor(SocketHandle sock) { return static_cast<int>(static_cast<intptr_t>(sock)); }

}  // namespace

int32_t Startup() { return 0; }
int32_t Cleanup() { return 0; }

SocketHandle CreateSocket(bool stream, AddressFamily family) {
  const int fd = socket(SystemFamily(family), stream ? SOCK_STREAM : SOCK_DGRAM, 0);
  if (fd < 0) {
    Fail(WinSockNumber(errno));
    return kInvalidSocket;
  }
  // The kernel's arrival stamp: a reply's T4 should not include the time the
  // receiving thread took to wake up. Without it the age simply reads 0.
  if (!stream) {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  }
  return static_cast<SocketHandle>(fd);
}

int32_t CloseSocket(SocketHandle sock) {
  return close(Descriptor(sock)) == 0 ? 0 : Fail(WinSockNumber(errno));
}

int32_t ShutdownBoth(SocketHandle sock) {
  return shutdown(Descriptor(sock), SHUT_RDWR) == 0 ? 0 : Fail(WinSockNumber(errno));
}

int32_t SetReceiveTimeout(SocketHandle sock, int32_t ms) {
  // Read as the unsigned count of milliseconds that WinSock takes; 0 waits for ever.
  const uint32_t count = static_cast<uint32_t>(ms);
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(count / 1000);
  tv.tv_usec = static_cast<suseconds_t>((count % 1000) * 1000);
  if (setsockopt(Descriptor(sock), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0) return 0;
  return Fail(WinSockNumber(errno));
}

int32_t Bind(SocketHandle sock, const SocketAddress& address) {
  sockaddr_storage local;
  const socklen_t size = ToSockaddr(address, local);
  if (bind(Descriptor(sock), reinterpret_cast<const sockaddr*>(&local), size) == 0) return 0;
  return Fail(WinSockNumber(errno));
}

int32_t Connect(SocketHandle sock, const SocketAddress& address) {
  sockaddr_storage to;
  const socklen_t size = ToSockaddr(address, to);
  if (connect(Descriptor(sock), reinterpret_cast<const sockaddr*>(&to), size) == 0) return 0;
  return Fail(WinSockNumber(errno));
}

int32_t SendTo(SocketHandle sock, const SocketAddress& address, const void* data, int32_t length) {
  if (length < 0) return Fail(10014);  // WSAEFAULT, as for a bad length
  sockaddr_storage to;
  const socklen_t size = ToSockaddr(address, to);
  const ssize_t sent = sendto(Descriptor(sock), data, static_cast<size_t>(length), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&to), size);
  if (sent < 0) return Fail(WinSockNumber(errno));
  return static_cast<int32_t>(sent);
}

int32_t ReceiveFrom(SocketHandle sock, void* buffer, int32_t size, SocketAddress& from,
                    int64_t& ageNs, int32_t /*timeoutMs*/) {
  ageNs = 0;
  if (size < 0) return Fail(10014);
  sockaddr_storage sender{};
  iovec data{buffer, static_cast<size_t>(size)};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  // MSG_TRUNC reports the datagram's full length, so that a long one is told
  // apart from one that just fits; WinSock fails such a receive.
  const ssize_t count = recvmsg(Descriptor(sock), &message, MSG_TRUNC);
  if (count >= 0) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
      timespec stamp;
      std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
      const int64_t age = (int64_t{now.tv_sec} - stamp.tv_sec) * 1000000000 +
                          (int64_t{now.tv_nsec} - stamp.tv_nsec);
      // A clock stepped in between makes the difference meaningless.
      if (age > 0 && age < 1000000000) ageNs = age;
    }
  }
  if (count < 0) {
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) return Fail(wsa::kTimedOut);
    // The port-unreachable answer to an earlier datagram of a connected socket.
    if (error == ECONNREFUSED) return Fail(wsa::kConnectionReset);
    return Fail(WinSockNumber(error));
  }
  from = FromSockaddr(sender);
  if (count > size) return Fail(wsa::kMessageSize);
  return static_cast<int32_t>(count);
}

bool ResolveHost(const std::string& name, AddressFamily only,
                 std::vector<SocketAddress>& addresses) {
  // getaddrinfo rather than gethostbyname: request threads resolve at once.
  addrinfo hints{};
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

int32_t LastError() { return t_lastError; }

std::string ErrorText(int32_t error) {
  char buffer[256];
  // GNU strerror_r: returns the text, which may or may not be in buffer.
  const char* text = strerror_r(static_cast<int>(error), buffer, sizeof buffer);
  return text != nullptr ? text : "Unknown error";
}

}  // namespace veltraw::net
