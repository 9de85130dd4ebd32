// What the clock service agrees to do: which servers it asks, the thresholds
// a request may only tighten, and how often it measures and steps.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "LIB/Net/IPSocket.h"
#include "LIB/Net/InterfaceList.h"
#include "app/Settings.h"
#include "service/ClockServiceClient.h"

namespace veltraw {

// The tray's own defaults: a reply is used when its round trip is below the
// limit, and the clock is stepped when the offset's magnitude is above the
// threshold (both ms).
constexpr int32_t kServiceMaxRoundTripMs =
    setting::RoundTripLatencyClockRejectThreshold.defaultValue;
constexpr int32_t kServiceStepThresholdMs = setting::SetClockOnceDriftExceeds.defaultValue;

struct ServiceThresholds {
  int32_t maxRoundTripMs;
  int32_t stepThresholdMs;
};

// A request's thresholds (0: the default) held to the defaults: a shorter
// round-trip limit and a larger step threshold are taken, nothing looser.
ServiceThresholds EffectiveThresholds(const ClockServiceRequest& request);

// What the service learns about the machine and the names it is given.
class ServerEnvironment {
 public:
  virtual ~ServerEnvironment() = default;
  // The administrator's list of servers; false when there is none.
  virtual bool AllowedServers(std::vector<std::string>& servers) = 0;
  // Every address of name (bounded in time); false when it does not resolve.
  virtual bool Resolve(const std::string& name, std::vector<SocketAddress>& addresses) = 0;
  // The PC's own IPv4 interfaces; false when the system will not list them.
  virtual bool OwnInterfaces(std::vector<NetworkInterface>& interfaces) = 0;
};

struct ServerChoice {
  std::string refusal;  // why the server is not asked; empty when it is
  std::string host;     // what the request series asks: the listed name or one checked address
};

// With an administrator's list, the servers on it (letter case ignored) and
// nothing else. Without one, any server whose every IPv4 address is a
// unicast address of another machine: not loopback, unspecified, multicast
// or broadcast, nor one of the PC's interfaces or their subnets' broadcast
// addresses. The series then asks the address checked here, so a name that
// resolves anew cannot slip past the check.
ServerChoice ChooseServer(const std::string& server, ServerEnvironment& environment);

// At most limit events within any window of windowMs.
class RateLimit {
 public:
  RateLimit(size_t limit, int64_t windowMs) : m_limit(limit), m_windowMs(windowMs) {}
  // Whether an event may happen at nowMs (a steady clock); when it may, it
  // is counted. Otherwise waitMs is how long until one may.
  bool Take(int64_t nowMs, int64_t& waitMs);

 private:
  size_t m_limit;
  int64_t m_windowMs;
  std::deque<int64_t> m_times;  // of the events within the window, oldest first
};

}  // namespace veltraw
