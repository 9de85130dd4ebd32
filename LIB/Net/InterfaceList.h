// The machine's IPv4 interfaces as the system lists them, for the search for
// a time server on the local networks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace veltraw {

// An IPv4 address or netmask as four bytes in network order: 192.168.1.37 is
// {192, 168, 1, 37}.
using Ipv4Address = std::array<uint8_t, 4>;

// "a.b.c.d"
std::string DottedAddress(const Ipv4Address& address);

struct NetworkInterface {
  Ipv4Address address{};
  Ipv4Address netmask{};
  bool up = false;
  bool multicast = false;  // the interface can send to multicast groups
};

// Every interface that has an IPv4 address, one entry per address, in the
// order the system lists them. False when the system refuses the listing;
// errorText then holds its error text.
bool ListInterfaces(std::vector<NetworkInterface>& interfaces, std::string& errorText);

// How one attempt of a listing into a fixed buffer went.
enum class ListingAttempt { Done, BufferTooSmall, Failed };

// Runs attempt with a buffer of initialSize bytes and, while the system says
// the buffer is too small, again with twice the size, up to maxSize. attempt
// fills the buffer and sets the bytes it used. The result is that of the last
// attempt: BufferTooSmall when even maxSize bytes did not do.
ListingAttempt ListIntoGrowingBuffer(
    std::vector<uint8_t>& buffer, size_t initialSize, size_t maxSize,
    const std::function<ListingAttempt(std::vector<uint8_t>& buffer, size_t& used)>& attempt);

}  // namespace veltraw
