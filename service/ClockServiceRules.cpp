#include "service/ClockServiceRules.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace veltraw {

namespace {

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Why an IPv4 address may be this PC itself, or many machines at once; empty
// when it is one other machine's.
std::string ownOrShared(const Ipv4Address& a, const std::vector<NetworkInterface>& interfaces) {
  if (a[0] == 127) return "a loopback address";
  if (a[0] == 0) return "an unspecified address";
  if (a[0] >= 224) return "a multicast or broadcast address";
  for (const NetworkInterface& i : interfaces) {
    if (a == i.address) return "an address of this PC";
    Ipv4Address broadcast;
    for (size_t k = 0; k < 4; ++k) {
      broadcast[k] = static_cast<uint8_t>(i.address[k] | static_cast<uint8_t>(~i.netmask[k]));
    }
    if (a == broadcast) return "a broadcast address of this PC's network";
  }
  return "";
}

}  // namespace

ServiceThresholds EffectiveThresholds(const ClockServiceRequest& request) {
  ServiceThresholds t{kServiceMaxRoundTripMs, kServiceStepThresholdMs};
  if (request.maxRoundTripMs > 0)
    t.maxRoundTripMs = std::min(t.maxRoundTripMs, request.maxRoundTripMs);
  if (request.stepThresholdMs > 0) {
    t.stepThresholdMs = std::max(t.stepThresholdMs, request.stepThresholdMs);
  }
  return t;
}

ServerChoice ChooseServer(const std::string& server, ServerEnvironment& environment) {
  std::vector<std::string> allowed;
  if (environment.AllowedServers(allowed)) {
    for (const std::string& entry : allowed) {
      if (sameName(trimmed(entry), server)) return {"", server};
    }
    return {server + " is not on the administrator's list of servers", ""};
  }
  std::vector<SocketAddress> addresses;
  if (!environment.Resolve(server, addresses)) return {server + " does not resolve", ""};
  std::vector<NetworkInterface> interfaces;
  if (!environment.OwnInterfaces(interfaces)) {
    return {"this PC's addresses cannot be listed, so " + server + " cannot be checked", ""};
  }
  std::string host;
  for (const SocketAddress& address : addresses) {
    // Only IPv4: the interface list has no IPv6 addresses to check against.
    if (address.family != AddressFamily::IPv4) continue;
    Ipv4Address a;
    std::memcpy(a.data(), address.address, 4);
    const std::string why = ownOrShared(a, interfaces);
    if (!why.empty()) return {server + " is " + why + " (" + DottedAddress(a) + ")", ""};
    if (host.empty()) host = DottedAddress(a);
  }
  if (host.empty()) {
    return {server + " has no IPv4 address; IPv6 servers must be on the administrator's list", ""};
  }
  return {"", host};
}

bool RateLimit::Take(int64_t nowMs, int64_t& waitMs) {
  while (!m_times.empty() && nowMs - m_times.front() >= m_windowMs) m_times.pop_front();
  if (m_times.size() < m_limit) {
    m_times.push_back(nowMs);
    return true;
  }
  waitMs = m_times.front() + m_windowMs - nowMs;
  return false;
}

}  // namespace veltraw
