#include "sntp/Autodetect.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Log/Failure.h"
#include "sntp/RequestThread.h"

namespace veltraw {

namespace {

constexpr const char* kWebAddress = "http://www.orvantis.example/";
constexpr Ipv4Address kLoopback = {127, 0, 0, 1};
constexpr Ipv4Address kLastByteMask = {255, 255, 255, 0};
constexpr int32_t kMaxProgressRange = 0xFFFF;  // the bar's range is 16 bits wide

ErrorLog& Log(int32_t level) { return ErrorLog::instance().begin(level); }

uint32_t HostOrder(const Ipv4Address& address) {
  return (uint32_t{address[0]} << 24) | (uint32_t{address[1]} << 16) | (uint32_t{address[2]} << 8) |
         address[3];
}

Ipv4Address FromHostOrder(uint32_t value) {
  return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

Ipv4Address BitwiseAnd(const Ipv4Address& a, const Ipv4Address& b) {
  return FromHostOrder(HostOrder(a) & HostOrder(b));
}

Ipv4Address BitwiseOr(const Ipv4Address& a, const Ipv4Address& b) {
  return FromHostOrder(HostOrder(a) | HostOrder(b));
}

std::string NoServerText() {
  return std::string(
             "Unable to find a local time server.\r\n\r\n"
             "If you're looking for one, you can find them\r\n"
             "on the internet, but please make sure you have\r\n"
             "permission from the administrator or you are using\r\n"
             "an open server first.\r\n\r\n"
             "(Of course, we can't resist recommending buying your\r\n"
             "very own Mirelock Time Server at ") +
         kWebAddress + "!)";
}

std::string ServerFoundText(const std::string& host) {
  return "Found time server at " + host +
         ".\r\n\r\n(Of course, it's not an Orvantis server,\r\nbut we'll forgive you!)";
}

bool IsAppliance(const NtpResult& result) {
  return result.hasPacket && std::memcmp(result.packet.referenceId(), "Mire", 4) == 0;
}

void ProbeCallback(void* context, const NtpResult& result) {
  std::unique_ptr<std::shared_ptr<AutodetectSearch>> search(
      static_cast<std::shared_ptr<AutodetectSearch>*>(context));
  (*search)->ProbeReport(result);
}

}  // namespace

bool NextProbeAddress(Ipv4Address& address, const Ipv4Address& probeMask) {
  const uint32_t next = HostOrder(address) + 1;
  address = FromHostOrder(next);
  return (next & ~HostOrder(probeMask)) == 0;
}

int32_t CountProbes(const std::vector<ProbeRange>& interfaces, bool probeMulticast) {
  int64_t count = probeMulticast ? 1 : 0;
  for (const ProbeRange& range : interfaces) {
    uint32_t outside = ~HostOrder(range.probeMask);
    int bits = 0;
    for (; outside != 0; outside >>= 1) ++bits;
    count += int64_t{1} << bits;
  }
  return static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
}

bool StartProbe(const std::shared_ptr<AutodetectSearch>& search, const std::string& host,
                int32_t tag) {
  auto context = std::make_unique<std::shared_ptr<AutodetectSearch>>(search);
  if (!StartRequestThread(context.get(), host, ProbeCallback, tag, kProbeTimeoutMs, 1)) {
    return false;
  }
  context.release();  // the probe's callback owns it now
  return true;
}

AutodetectSearch::AutodetectSearch(AutodetectServices services) : m_services(std::move(services)) {
  if (!m_services.startProbe) m_services.startProbe = StartProbe;
  if (!m_services.storeServer) assertionFailed("storeServer", "sntp/Autodetect", __LINE__);
}

AutodetectUpdate AutodetectSearch::Start(std::function<void()> wakeView) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_state != State::Idle) return UpdateLocked();
  m_wakeView = std::move(wakeView);
  std::vector<NetworkInterface> listing;
  std::string errorText;
  if (!m_services.listInterfaces(listing, errorText)) {
    EndLocked(0, errorText);
  } else if (!EnumerateInterfacesLocked(listing)) {
    EndLocked(0, std::string());
  } else {
    m_state = State::Scanning;
    const int64_t steps = 2 * int64_t{CountProbes(interfaces, probeMulticast)};
    m_progressRange = static_cast<int32_t>(std::min<int64_t>(steps, kMaxProgressRange));
  }
  return UpdateLocked();
}

bool AutodetectSearch::EnumerateInterfacesLocked(const std::vector<NetworkInterface>& listing) {
  interfaces.clear();
  currentInterface = 0;
  probeMulticast = false;
  foundServers.clear();
  Log(Detail) << "Found " << static_cast<int32_t>(listing.size()) << " interfaces" << End;
  for (const NetworkInterface& entry : listing) {
    Log(Trace) << "Looking at interface: " << DottedAddress(entry.address) << End;
    if (!entry.up || entry.address == kLoopback) continue;
    ProbeRange range;
    range.ownAddress = entry.address;
    range.nextProbe = BitwiseAnd(entry.address, entry.netmask);
    range.probeMask = BitwiseOr(entry.netmask, kLastByteMask);
    interfaces.push_back(range);
    if (entry.multicast) probeMulticast = true;
  }
  return !interfaces.empty();
}

AutodetectUpdate AutodetectSearch::ProbeTimer() {
  std::string target;
  int32_t tag = 0;
  bool send = false;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_state != State::Scanning || allTargetsChosen) return UpdateLocked();
    bool ownAddress = false;
    if (probeMulticast) {
      probeMulticast = false;
      target = kMulticastProbeTarget;
    } else {
      ProbeRange& range = interfaces[currentInterface];
      const Ipv4Address address = range.nextProbe;
      ownAddress = address == range.ownAddress;
      if (NextProbeAddress(range.nextProbe, range.probeMask) &&
          ++currentInterface == interfaces.size()) {
        allTargetsChosen = true;
        tag = kLastProbeTag;
      }
      target = DottedAddress(address);
    }
    m_probeAddress = target;
    if (!ownAddress) {
      ++m_progressSteps;
      ++probesInFlight;
      send = true;
    } else if (allTargetsChosen && probesInFlight <= 0) {
      // The last target was the PC itself and every probe has reported: no
      // report is left to close the scan.
      FinishScanLocked();
    }
    if (!send) return UpdateLocked();
  }
  // Outside the lock: reports need not wait while a thread starts, and a
  // probe may report before its start returns.
  if (!m_services.startProbe(shared_from_this(), target, tag)) {
    NtpResult notStarted;
    notStarted.host = target;
    notStarted.tag = tag;
    notStarted.status = Failed;
    ProbeReport(notStarted);
  }
  return TakeUpdate();
}

void AutodetectSearch::ProbeReport(const NtpResult& result) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_state != State::Scanning) return;
  ++m_progressSteps;
  --probesInFlight;
  if (result.status == Ok || result.status == BadReference) {
    if (IsAppliance(result)) {
      std::string failureText;
      if (StoreLocked(result.host, failureText)) {
        EndLocked(1, "Found Mirelock at " + result.host);
      } else {
        EndLocked(0, failureText);
      }
      WakeLocked();
      return;
    }
    foundServers.push_back(result.host);
  }
  if (allTargetsChosen && probesInFlight <= 0) FinishScanLocked();
  WakeLocked();
}

AutodetectUpdate AutodetectSearch::TakeUpdate() {
  std::lock_guard<std::mutex> hold(m_lock);
  return UpdateLocked();
}

AutodetectUpdate AutodetectSearch::Abort() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_state != State::Ended) EndLocked(0, std::string());
  m_wakeView = nullptr;
  return UpdateLocked();
}

AutodetectUpdate AutodetectSearch::UpdateLocked() {
  AutodetectUpdate update;
  update.probeAddress = m_probeAddress;
  update.progressRange = m_progressRange;
  update.progressPosition = std::min(m_progressSteps, m_progressRange);
  update.timerNeeded = m_state == State::Scanning && !allTargetsChosen;
  if (m_state == State::Ended && !m_endHandedOut) {
    m_endHandedOut = true;
    m_wakeView = nullptr;  // the dialog is ending
    update.ends = true;
    update.result = m_result;
    update.boxText = m_boxText;
  }
  return update;
}

void AutodetectSearch::FinishScanLocked() {
  if (foundServers.empty()) {
    EndLocked(0, NoServerText());
    return;
  }
  // The one whose reply came last.
  const std::string host = foundServers.back();
  foundServers.clear();
  std::string failureText;
  EndLocked(0, StoreLocked(host, failureText) ? ServerFoundText(host) : failureText);
}

void AutodetectSearch::EndLocked(int32_t result, const std::string& boxText) {
  m_state = State::Ended;
  m_result = result;
  m_boxText = boxText;
}

bool AutodetectSearch::StoreLocked(const std::string& host, std::string& failureText) {
  try {
    m_services.storeServer(host);
    return true;
  } catch (const std::exception& e) {
    Log(Error) << "Unable to store the time server found, " << host << ": " << e.what() << End;
    failureText = e.what();
    return false;
  }
}

void AutodetectSearch::WakeLocked() {
  if (m_wakeView) m_wakeView();
}

}  // namespace veltraw
