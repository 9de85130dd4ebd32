// WinSock behind the socket layer.
//
// Arrival times: where the system stamps received datagrams (SIO_TIMESTAMPING,
// read with WSARecvMsg) the stamp is a performance-counter value, so the
// datagram's age follows from the counter. Where it does not (older Windows,
// network drivers without stamps, Wine), a receive first polls for a few
// milliseconds: a reply that comes that soon is seen within one poll of its
// arrival instead of one thread wake-up later.
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h, which it needs
#include <mswsock.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "LIB/Net/SocketPlatform.h"
#include "LIB/Net/SystemAddress.h"

namespace veltraw::net {

namespace {

// How long a receive polls before it blocks.
constexpr int64_t kPollWindowMs = 5;
// Two polls that took no longer than this together (microseconds) bracket an
// arrival closely enough to take the middle.
constexpr int64_t kCloseBracketUs = 100;
// A stamp older than this belongs to a clock that moved; it is not used.
constexpr int64_t kLongestAgeNs = 1000000000;

// Receive stamps came with Windows 10 (the headers show them only to builds
// for it); the program runs on older systems too, so it asks at run time.
constexpr DWORD kTimestampingControl = _WSAIOW(IOC_VENDOR, 235);  // SIO_TIMESTAMPING
constexpr ULONG kTimestampReceived = 0x1;                         // TIMESTAMPING_FLAG_RX
constexpr INT kTimestampMessage = 0x300A;  // SO_TIMESTAMP: a counter value, 8 bytes
struct TimestampingConfig {                // TIMESTAMPING_CONFIG
  ULONG flags;
  USHORT transmitStampsBuffered;
};

SOCKET Native(SocketHandle sock) { return static_cast<SOCKET>(sock); }

int64_t Counter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

int64_t CounterFrequency() {
  static const int64_t frequency = [] {
    LARGE_INTEGER value;
    return QueryPerformanceFrequency(&value) && value.QuadPart > 0 ? value.QuadPart : 0;
  }();
  return frequency;
}

// Nanoseconds from counter value `then` to now; 0 when it makes no sense.
int64_t AgeNs(int64_t then) {
  const int64_t frequency = CounterFrequency();
  if (frequency == 0) return 0;
  const int64_t counts = Counter() - then;
  if (counts <= 0) return 0;
  const int64_t age = counts / frequency * 1000000000 + counts % frequency * 1000000000 / frequency;
  return age < kLongestAgeNs ? age : 0;
}

// The system's receive stamps: on until the system refuses to stamp a socket
// or hands over a datagram without a stamp; from then on receives poll.
std::atomic<bool> g_stampsUsable{true};
std::atomic<LPFN_WSARECVMSG> g_receiveMessage{nullptr};

void EnableReceiveStamps(SOCKET sock) {
  if (!g_stampsUsable.load()) return;
  TimestampingConfig config = {};
  config.flags = kTimestampReceived;
  DWORD returned = 0;
  GUID receiveMessageId = WSAID_WSARECVMSG;
  LPFN_WSARECVMSG receiveMessage = nullptr;
  const int error = WSAGetLastError();  // a refusal here is no failure of the caller's
  if (WSAIoctl(sock, kTimestampingControl, &config, sizeof config, nullptr, 0, &returned, nullptr,
               nullptr) != 0 ||
      WSAIoctl(sock, SIO_GET_EXTENSION_FUNCTION_POINTER, &receiveMessageId, sizeof receiveMessageId,
               &receiveMessage, sizeof receiveMessage, &returned, nullptr, nullptr) != 0 ||
      receiveMessage == nullptr) {
    g_stampsUsable.store(false);
  } else {
    g_receiveMessage.store(receiveMessage);
  }
  WSASetLastError(error);
}

// Windows reports a refused earlier datagram as WSAECONNRESET; Wine passes on
// the host's "connection refused". Both mean the same to the caller.
int Failed() {
  if (WSAGetLastError() == WSAECONNREFUSED) WSASetLastError(WSAECONNRESET);
  return -1;
}

// One receive through WSARecvMsg; stamp: the system's arrival stamp, if any.
int ReceiveMessage(SOCKET sock, LPFN_WSARECVMSG receiveMessage, void* buffer, int size,
                   sockaddr_storage& sender, int64_t& stamp) {
  WSABUF data = {static_cast<ULONG>(size), static_cast<char*>(buffer)};
  alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(UINT64))];
  WSAMSG message = {};
  message.name = reinterpret_cast<LPSOCKADDR>(&sender);
  message.namelen = sizeof sender;
  message.lpBuffers = &data;
  message.dwBufferCount = 1;
  message.Control.len = sizeof control;
  message.Control.buf = control;
  DWORD count = 0;
  if (receiveMessage(sock, &message, &count, nullptr, nullptr) == SOCKET_ERROR) return SOCKET_ERROR;
  for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr;
       c = WSA_CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != kTimestampMessage) continue;
    UINT64 value;
    std::memcpy(&value, WSA_CMSG_DATA(c), sizeof value);
    stamp = static_cast<int64_t>(value);
  }
  return static_cast<int>(count);
}

int SetTimeoutMs(SOCKET sock, DWORD ms) {
  return setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

// Waits until sock has something to read (a datagram or an error), at most
// ms milliseconds (below 0: no limit); false with the error set otherwise.
bool WaitReadable(SOCKET sock, int64_t ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(sock, &readable);
  timeval limit = {static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
  const int ready = select(0, &readable, nullptr, nullptr, ms >= 0 ? &limit : nullptr);
  if (ready == 0) WSASetLastError(WSAETIMEDOUT);
  return ready > 0;
}

// Datagram sockets do not block: a receive makes one attempt after another
// (attempt() returns the count, or SOCKET_ERROR with the error set) until one
// brings something, within timeoutMs (0 or below: no limit). With poll, it
// first tries without a pause for the poll window; then, and otherwise, it
// waits in select() between attempts. arrival: the counter when the datagram
// is known to have been there.
//
// Where a poll looks within its call is not known (under Wine, between two
// calls to its server), so a datagram that a poll finds arrived after the
// previous poll began and before this one returned. While those two moments
// lie close together their middle is the arrival; otherwise (a first poll, or
// a thread preempted in between) the moment the receive returned, which is
// never before the arrival.
template <typename Attempt>
int ReceiveWithin(SOCKET sock, int32_t timeoutMs, bool poll, const Attempt& attempt,
                  int64_t& arrival) {
  const int64_t frequency = CounterFrequency();
  const int64_t start = Counter();
  int error = 0;
  if (poll && frequency > 0) {
    const int64_t windowMs = timeoutMs > 0 && timeoutMs < kPollWindowMs ? timeoutMs : kPollWindowMs;
    const int64_t end = start + windowMs * frequency / 1000;
    const int64_t closeBracket = kCloseBracketUs * frequency / 1000000;
    int64_t previousPoll = -1;  // when the poll before began; -1: none yet
    for (;;) {
      const int64_t pollStart = Counter();
      const int count = attempt();
      const int64_t returned = Counter();
      error = count == SOCKET_ERROR ? WSAGetLastError() : 0;
      if (error != WSAEWOULDBLOCK) {
        const bool bracketed = previousPoll >= 0 && returned - previousPoll <= closeBracket;
        if (count != SOCKET_ERROR) arrival = bracketed ? (previousPoll + returned) / 2 : returned;
        WSASetLastError(error);
        return count;
      }
      if (pollStart >= end) break;
      previousPoll = pollStart;
    }
  }
  for (;;) {
    int64_t leftMs = -1;
    if (timeoutMs > 0 && frequency > 0) {
      leftMs = timeoutMs - (Counter() - start) * 1000 / frequency;
      if (leftMs <= 0) {
        WSASetLastError(WSAETIMEDOUT);
        return SOCKET_ERROR;
      }
    } else if (timeoutMs > 0) {
      leftMs = timeoutMs;
    }
    if (!WaitReadable(sock, leftMs)) return SOCKET_ERROR;
    const int count = attempt();
    const int64_t returned = Counter();
    error = count == SOCKET_ERROR ? WSAGetLastError() : 0;
    if (error != WSAEWOULDBLOCK) {
      if (count != SOCKET_ERROR) arrival = returned;
      WSASetLastError(error);
      return count;
    }
  }
}

}  // namespace

// Every socket holds one start-up count of WinSock for its lifetime. The
// counting is serialised here: Wine's own count is not safe against threads
// starting and cleaning up at once, and a count lost there closes every
// socket of the process when the last count it knows of is released.
std::mutex& StartupLock() {
  static std::mutex lock;
  return lock;
}

int32_t Startup() {
  std::lock_guard<std::mutex> hold(StartupLock());
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data);
}

int32_t Cleanup() {
  std::lock_guard<std::mutex> hold(StartupLock());
  return WSACleanup() == 0 ? 0 : -1;
}

SocketHandle CreateSocket(bool stream, AddressFamily family) {
  const SOCKET sock = socket(SystemFamily(family), stream ? SOCK_STREAM : SOCK_DGRAM, 0);
  if (sock == INVALID_SOCKET) return kInvalidSocket;
  if (!stream) {
    EnableReceiveStamps(sock);
    // Receives wait in select(), so that they can poll first.
    u_long nonBlocking = 1;
    ioctlsocket(sock, FIONBIO, &nonBlocking);
  }
  return static_cast<SocketHandle>(sock);
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
  if (connect(Native(sock), reinterpret_cast<const sockaddr*>(&to), size) != 0) return -1;
  // Wine fetches a socket's host descriptor at its first use, which takes a
  // good part of a millisecond: let that be now, with a look that takes
  // nothing, and not between a request's time stamp and its send.
  char first;
  recv(Native(sock), &first, 1, MSG_PEEK);
  WSASetLastError(0);
  return 0;
}

int32_t SendTo(SocketHandle sock, const SocketAddress& address, const void* data, int32_t length) {
  sockaddr_storage to;
  const int size = ToSockaddr(address, to);
  const int sent = sendto(Native(sock), static_cast<const char*>(data), length, 0,
                          reinterpret_cast<const sockaddr*>(&to), size);
  return sent == SOCKET_ERROR ? -1 : sent;
}

int32_t ReceiveFrom(SocketHandle sock, void* buffer, int32_t size, SocketAddress& from,
                    int64_t& ageNs, int32_t timeoutMs) {
  ageNs = 0;
  sockaddr_storage sender{};
  int64_t arrival = -1;
  int64_t stamp = -1;
  const LPFN_WSARECVMSG receiveMessage = g_receiveMessage.load();
  const bool stamped = g_stampsUsable.load() && receiveMessage != nullptr;
  const int count =
      stamped
          ? ReceiveWithin(
                Native(sock), timeoutMs, false,
                [&] {
                  return ReceiveMessage(Native(sock), receiveMessage, buffer, size, sender, stamp);
                },
                arrival)
          : ReceiveWithin(
                Native(sock), timeoutMs, true,
                [&] {
                  int senderSize = sizeof sender;
                  return recvfrom(Native(sock), static_cast<char*>(buffer), size, 0,
                                  reinterpret_cast<sockaddr*>(&sender), &senderSize);
                },
                arrival);
  if (count == SOCKET_ERROR) return Failed();
  // A datagram without a stamp: the system does not stamp after all.
  if (stamped && stamp < 0) g_stampsUsable.store(false);
  if (stamp >= 0 || arrival >= 0) ageNs = AgeNs(stamp >= 0 ? stamp : arrival);
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
