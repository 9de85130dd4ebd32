#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>

#include "sntp/Autodetect.h"

namespace veltraw {
namespace {

Ipv4Address dotted(const std::string& text) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
  return {uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)};
}

NetworkInterface iface(const std::string& address, const char* netmask, bool multicast = false,
                       bool up = true) {
  return {dotted(address), dotted(netmask), up, multicast};
}

std::string at(int octet) { return "192.168.1." + std::to_string(octet); }

// A probe's report; a reference id makes it an answer ("Mire": the appliance).
NtpResult report(const std::string& host, const std::string& referenceId = "") {
  NtpResult result;
  result.host = host;
  result.status = referenceId.empty() ? NoResponse : Ok;
  result.hasPacket = !referenceId.empty();
  std::memcpy(result.packet.bytes + 12, (referenceId + std::string(4, '\0')).data(), 4);
  return result;
}

const char* const kDenied = "Access is denied. (0x00000005 / 5)";
const char* const kNoServer = "Unable to find a local time server.\r\n\r\nIf you're";

// A search whose probes and store only record: the test plays the network.
struct FakeSystem {
  explicit FakeSystem(std::vector<NetworkInterface> listing, bool listingFails = false) {
    AutodetectServices services;
    services.listInterfaces = [=](std::vector<NetworkInterface>& out, std::string& errorText) {
      out = listing;
      errorText = kDenied;  // read only after a failure
      return !listingFails;
    };
    services.startProbe = [this](auto&, const std::string& host, int32_t) {
      sent.push_back(host);
      return startSucceeds;
    };
    services.storeServer = [this](const std::string& host) {
      if (storeFails) throw std::runtime_error(kDenied);
      stored.push_back(host);
    };
    search = std::make_shared<AutodetectSearch>(services);
  }

  void note(const AutodetectUpdate& update) {
    last = update;
    if (update.ends) ++ends, end = update;
  }

  void reply(const std::string& host, const std::string& referenceId) {
    search->ProbeReport(report(host, referenceId));
    note(search->TakeUpdate());
  }

  // Ticks while the search wants ticks, or until abortAtTick. Each probe
  // reports at once with the reference id answers gives it (none: no
  // answer), or, when the id starts with '+', after the scan. Then the timer
  // ticks once more.
  void scan(const std::map<std::string, std::string>& answers = {}, int abortAtTick = -1) {
    note(search->Start([] {}));
    for (int tick = 0; last.timerNeeded && tick != abortAtTick; ++tick) {
      const size_t before = sent.size();
      note(search->ProbeTimer());
      if (sent.size() == before || !startSucceeds) continue;
      const std::string id = answers.count(sent.back()) ? answers.at(sent.back()) : "";
      if (!id.empty() && id[0] == '+') {
        held.emplace_back(sent.back(), id.substr(1));
      } else {
        reply(sent.back(), id);
      }
    }
    if (abortAtTick >= 0) note(search->Abort());
    for (const auto& [host, id] : held) {
      EXPECT_TRUE(abortAtTick >= 0 || ends == 0) << "ended with a probe still out";
      reply(host, id);
    }
    note(search->ProbeTimer());
  }

  std::shared_ptr<AutodetectSearch> search;
  std::vector<std::string> sent, stored;
  std::vector<std::pair<std::string, std::string>> held;
  AutodetectUpdate last, end;
  int ends = 0;
  bool startSucceeds = true;
  bool storeFails = false;
};

// Which addresses a scan probes, in which order, and the progress that goes
// with them. No probe starts here: each then counts as reported at once, and
// the scan still ends.
TEST(AutodetectSearch, ProbesTheGroupThenEachBlockButNeverThePc) {
  const std::vector<NetworkInterface> unusable = {iface("127.0.0.1", "255.0.0.0", true),
                                                  iface("10.0.0.1", "255.0.0.0", true, false)};
  struct Case {
    std::vector<NetworkInterface> listing;
    std::vector<std::string> first;  // the first targets sent
    std::string last;                // the last target shown (the PC's is never sent)
    size_t sent;
    int32_t range;  // two steps for each address of the blocks, the PC's own included
    std::string box = kNoServer;
    bool listingFails = false;
  } cases[] = {
      {{iface(at(37), "255.255.255.0", true)}, {"224.0.1.1", at(0), at(1)}, at(255), 256, 514},
      {{iface("10.1.2.3", "255.0.0.0")}, {"10.0.0.0", "10.0.0.1"}, "10.0.0.255", 256, 512},
      {{iface(at(37), "255.255.255.192")}, {at(0)}, at(63), 63, 128},
      {{iface(at(37), "255.255.255.255")}, {}, at(37), 0, 2},
      // Only usable interfaces count: a multicast interface that is down adds
      // no group probe, the loop-back adds nothing.
      {{iface("127.0.0.1", "255.0.0.0", true), iface("172.16.5.9", "255.255.0.0", true, false),
        iface("192.168.7.1", "255.255.255.252"), iface("192.168.9.200", "255.255.255.0")},
       {"192.168.7.0", "192.168.7.2", "192.168.7.3", "192.168.9.0"},
       "192.168.9.255",
       3 + 255,
       2 * (4 + 256)},
      // Nothing to scan: the search ends at once, with the system's error
      // text when the listing failed.
      {unusable, {}, "", 0, 0, ""},
      {{iface(at(37), "255.255.255.0")}, {}, "", 0, 0, kDenied, true},
  };
  for (const Case& c : cases) {
    FakeSystem system(c.listing, c.listingFails);
    system.startSucceeds = false;
    system.scan();
    SCOPED_TRACE(c.last);
    ASSERT_EQ(system.sent.size(), c.sent);
    EXPECT_EQ(std::vector<std::string>(system.sent.begin(), system.sent.begin() + c.first.size()),
              c.first);
    const std::set<std::string> targets(system.sent.begin(), system.sent.end());
    EXPECT_EQ(targets.size(), c.sent);                                      // each once
    EXPECT_EQ(targets.count(DottedAddress(c.listing.back().address)), 0u);  // never the PC
    EXPECT_EQ(system.last.probeAddress, c.last);
    EXPECT_EQ(system.last.progressRange, c.range);
    EXPECT_EQ(system.last.progressPosition, static_cast<int32_t>(2 * c.sent));
    ASSERT_EQ(system.ends, 1);
    EXPECT_EQ(system.end.boxText.substr(0, c.box.size()), c.box);
    EXPECT_EQ(system.end.result, 0);
  }
}

// What a /24 scan stores and shows, by who answers when. Once it has ended
// (or been aborted), neither reports nor ticks change anything.
TEST(AutodetectSearch, KeepsTheApplianceAtOnceOrElseTheLastToAnswer) {
  const auto found = [](const std::string& host) {
    return "Found time server at " + host +
           ".\r\n\r\n(Of course, it's not an Orvantis server,\r\nbut we'll forgive you!)";
  };
  const auto appliance = [](const std::string& host) { return "Found Mirelock at " + host; };
  struct Case {
    int pc;
    std::map<std::string, std::string> answers;
    std::string stored, box;
    size_t sent;  // before the end
    bool storeFails = false;
    int abortAtTick = -1;
  } cases[] = {
      {37, {{at(5), "GPS"}, {at(9), "LOCL"}}, at(9), found(at(9)), 256},
      {37, {{at(5), "+GPS"}, {at(9), "GPS"}}, at(5), found(at(5)), 256},
      {37, {{at(5), "GPS"}, {at(255), "Mire"}}, at(255), appliance(at(255)), 256},
      {37, {{at(5), "Mire"}, {at(9), "GPS"}}, at(5), appliance(at(5)), 7},
      // The PC's address is the last target while a probe is still out: the
      // scan is over when that probe has reported, not before.
      {255, {{at(254), "+GPS"}}, at(254), found(at(254)), 256},
      // Nothing could be stored: the box says why instead.
      {37, {{at(5), "Mire"}}, "", kDenied, 7, true},
      {37, {{at(5), "GPS"}}, "", kDenied, 256, true},
      // Abort with a server found and the appliance's probe in flight.
      {37, {{"224.0.1.1", "GPS"}, {at(3), "+Mire"}}, "", "", 10, false, 10},
  };
  for (const Case& c : cases) {
    FakeSystem system({iface(at(c.pc), "255.255.255.0", true)});
    SCOPED_TRACE(c.box);
    system.storeFails = c.storeFails;
    system.scan(c.answers, c.abortAtTick);
    EXPECT_EQ(system.stored,
              c.stored.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.stored});
    ASSERT_EQ(system.ends, 1);
    EXPECT_EQ(system.end.result, c.box.rfind("Found Mirelock", 0) == 0 ? 1 : 0);
    EXPECT_EQ(system.end.boxText, c.box);
    EXPECT_EQ(system.sent.size(), c.sent);
    EXPECT_FALSE(system.last.timerNeeded);
    EXPECT_EQ(system.last.progressPosition, system.end.progressPosition);
    EXPECT_FALSE(system.search->Abort().ends);
  }
}

// Real probes to loop-back addresses where nothing listens: each reports on
// its own thread, racing the ticks, and holds the search until then.
TEST(AutodetectSearch, RealProbesReportThroughTheirThreads) {
  AutodetectServices services;
  services.listInterfaces = [](std::vector<NetworkInterface>& out, std::string&) {
    out = {iface("127.77.0.1", "255.255.255.240")};
    return true;
  };
  services.storeServer = [](const std::string&) {};
  auto search = std::make_shared<AutodetectSearch>(services);
  std::atomic<int> wakes{0};
  AutodetectUpdate update = search->Start([&wakes] { ++wakes; });
  while ((update = search->ProbeTimer()).timerNeeded) {
  }
  search.reset();  // the probes out keep it
  // Within the probes' 150 ms timeout; the bound only stops a broken build.
  for (int i = 0; i < 3000 && wakes < 15; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(wakes, 15);  // 127.77.0.0 and .2 to .15
}

}  // namespace
}  // namespace veltraw
