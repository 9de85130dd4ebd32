// The interface list from WinSock's SIO_GET_INTERFACE_LIST.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "LIB/Log/Failure.h"
#include "LIB/Net/InterfaceList.h"
#include "LIB/Net/UDPSocket.h"

namespace veltraw {

namespace {

// Room for five entries first, as most PCs have no more; a PC with a VPN or
// virtual adapters has, and the list then grows up to 512 entries.
constexpr size_t kInitialBufferSize = 5 * sizeof(INTERFACE_INFO);
constexpr size_t kMaxBufferSize = 512 * sizeof(INTERFACE_INFO);

// The list holds IPv4 entries only; the family of a netmask is not always set.
Ipv4Address AddressOf(const sockaddr_gen& address) {
  Ipv4Address bytes{};
  std::memcpy(bytes.data(), &address.AddressIn.sin_addr, bytes.size());
  return bytes;
}

}  // namespace

bool ListInterfaces(std::vector<NetworkInterface>& interfaces, std::string& errorText) {
  interfaces.clear();
  DWORD error = 0;
  std::vector<uint8_t> buffer;
  ListingAttempt outcome;
  {
    UDPSocket socket(0);  // only a handle to ask through; its port is not used
    if (!socket.Open(false)) {
      errorText = windowsErrorText(static_cast<uint32_t>(WSAGetLastError()));
      return false;
    }
    outcome = ListIntoGrowingBuffer(
        buffer, kInitialBufferSize, kMaxBufferSize, [&](std::vector<uint8_t>& space, size_t& used) {
          DWORD returned = 0;
          if (WSAIoctl(static_cast<SOCKET>(socket.Handle()), SIO_GET_INTERFACE_LIST, nullptr, 0,
                       space.data(), static_cast<DWORD>(space.size()), &returned, nullptr,
                       nullptr) == 0) {
            used = returned;
            return ListingAttempt::Done;
          }
          error = static_cast<DWORD>(WSAGetLastError());
          return error == WSAEFAULT || error == WSAENOBUFS ? ListingAttempt::BufferTooSmall
                                                           : ListingAttempt::Failed;
        });
  }
  if (outcome != ListingAttempt::Done) {
    errorText = windowsErrorText(error);
    return false;
  }
  const size_t count = buffer.size() / sizeof(INTERFACE_INFO);
  for (size_t i = 0; i < count; ++i) {
    INTERFACE_INFO info;
    std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
    NetworkInterface found;
    found.address = AddressOf(info.iiAddress);
    found.netmask = AddressOf(info.iiNetmask);
    found.up = (info.iiFlags & IFF_UP) != 0;
    found.multicast = (info.iiFlags & IFF_MULTICAST) != 0;
    interfaces.push_back(found);
  }
  return true;
}

}  // namespace veltraw
