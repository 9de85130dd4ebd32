// The search for a time server on the PC's own networks: one SNTP request to
// the NTP multicast group, then one to every address of each local IPv4 block,
// a probe per timer tick. An appliance (reference id "Mire") ends the search
// at once; otherwise the server that answered last is kept once the scan is
// over. Either is stored as the primary server, Server1.
//
// AutodetectSearch is the search without its window. The progress dialog
// calls Start when it opens (and runs a kProbeIntervalMs timer while updates
// ask for ticks), ProbeTimer on each tick, TakeUpdate when woken, and Abort
// on its Abort button or when it goes away; it shows every update it gets and
// ends when one says so. Probes report on their own threads; the search then
// only wakes the dialog's thread, which asks for the update itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "LIB/Net/InterfaceList.h"
#include "sntp/NtpResult.h"

namespace veltraw {

// One interface's block of addresses to probe.
struct ProbeRange {
  Ipv4Address ownAddress{};  // the PC's address there; never probed
  Ipv4Address nextProbe{};   // starts at the network address
  // The netmask with the last byte's bits added: at most 256 addresses are
  // probed per interface, the block that holds the network address.
  Ipv4Address probeMask{};
};

// Adds 1 to address, read as a 32-bit number; true when the new address has
// no bit set outside probeMask, that is, the block is exhausted.
bool NextProbeAddress(Ipv4Address& address, const Ipv4Address& probeMask);

// The probes of a scan: 2^b per block, b being the bit length of the bits
// outside its probeMask (256 for a /24, 64 for a /26, 1 for a /32), plus one
// for the multicast group when probeMulticast.
int32_t CountProbes(const std::vector<ProbeRange>& interfaces, bool probeMulticast);

constexpr const char* kAutodetectBoxTitle = "Veltraw";
constexpr const char* kMulticastProbeTarget = "224.0.1.1";
constexpr int32_t kProbeIntervalMs = 100;  // the dialog's timer period
constexpr int32_t kProbeTimeoutMs = 150;
constexpr int32_t kLastProbeTag = 1;  // the tag of the scan's last target

// What the dialog shows; see the calls that return it.
struct AutodetectUpdate {
  std::string probeAddress;      // the target last chosen, "a.b.c.d"; empty before the first
  int32_t progressRange = 0;     // the bar runs from 0 to this (at most 65535)
  int32_t progressPosition = 0;  // two steps per probe: sent and reported
  bool timerNeeded = false;      // false once every target has been chosen
  // The dialog ends now with `result` (1: the appliance was found and stored),
  // after showing boxText, when there is one, in a box titled
  // kAutodetectBoxTitle. Handed out once.
  bool ends = false;
  int32_t result = 0;
  std::string boxText;
};

class AutodetectSearch;

// The system below the search; tests give their own.
struct AutodetectServices {
  using InterfaceLister =
      std::function<bool(std::vector<NetworkInterface>& interfaces, std::string& errorText)>;
  // Starts one probe whose report comes back through search->ProbeReport;
  // false when it could not be started (there is then no report).
  using ProbeStarter = std::function<bool(const std::shared_ptr<AutodetectSearch>& search,
                                          const std::string& host, int32_t tag)>;
  // Stores the host found as the primary server; throws std::runtime_error
  // when it cannot. The settings belong to the program, so its caller gives
  // it; there is no default.
  using ServerStore = std::function<void(const std::string& host)>;

  InterfaceLister listInterfaces = ListInterfaces;
  ProbeStarter startProbe;  // empty: StartProbe
  ServerStore storeServer;
};

// A probe through StartRequestThread: one request, kProbeTimeoutMs. Each
// probe holds a share of the search until it has reported, so a report that
// comes after the dialog has gone still finds it.
bool StartProbe(const std::shared_ptr<AutodetectSearch>& search, const std::string& host,
                int32_t tag);

// Made with std::make_shared (probes hold shares of it). Every call may come
// from any thread; one lock orders them, so the list of servers found is
// changed by one thread at a time and the search ends exactly once. After the
// end (or Abort) nothing is stored and reports change nothing.
class AutodetectSearch : public std::enable_shared_from_this<AutodetectSearch> {
 public:
  explicit AutodetectSearch(AutodetectServices services = AutodetectServices());

  // Lists the interfaces and prepares the scan. wakeView is called, under the
  // search's lock, whenever a report changed what the dialog shows: it must
  // only wake the dialog's thread (post a message), which then calls
  // TakeUpdate. The update ends the search at once when the listing failed
  // (the box shows the system's error text) or no interface is usable.
  AutodetectUpdate Start(std::function<void()> wakeView);
  // One timer tick: chooses the next target and starts its probe unless it
  // is the PC's own address.
  AutodetectUpdate ProbeTimer();
  // The report of one probe, on the probe's thread.
  void ProbeReport(const NtpResult& result);
  // What the dialog shows after a wake.
  AutodetectUpdate TakeUpdate();
  // The user's Abort, or the dialog going away: ends the search with 0 and
  // nothing stored, unless it had ended already, whose end is then handed out
  // if the dialog has not had it. No wake follows.
  AutodetectUpdate Abort();

 private:
  enum class State { Idle, Scanning, Ended };

  // Fills interfaces and probeMulticast from the listing; false when no
  // interface is usable. Logs what it sees.
  bool EnumerateInterfacesLocked(const std::vector<NetworkInterface>& listing);

  AutodetectUpdate UpdateLocked();
  // The scan is over: every target chosen and every probe reported.
  void FinishScanLocked();
  void EndLocked(int32_t result, const std::string& boxText);
  // Stores host; on failure the end shows why instead.
  bool StoreLocked(const std::string& host, std::string& failureText);
  void WakeLocked();

  AutodetectServices m_services;
  std::mutex m_lock;
  State m_state = State::Idle;
  std::function<void()> m_wakeView;

  std::vector<ProbeRange> interfaces;
  size_t currentInterface = 0;
  bool probeMulticast = false;  // the group is still to be probed
  bool allTargetsChosen = false;
  int32_t probesInFlight = 0;
  std::vector<std::string> foundServers;  // in the order their replies came

  std::string m_probeAddress;
  int32_t m_progressRange = 0;
  int32_t m_progressSteps = 0;
  int32_t m_result = 0;
  std::string m_boxText;
  bool m_endHandedOut = false;
};

}  // namespace veltraw
