#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
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

// A probe's report; a reference id makes it an answer ("Mire": the appliance).
NtpResult report(const std::string& host, const char* referenceId = nullptr) {
  NtpResult result;
  result.host = host;
  result.status = referenceId ? Ok : NoResponse;
  result.hasPacket = referenceId != nullptr;
  if (referenceId) std::memcpy(result.packet.bytes + 12, referenceId, 4);
  return result;
}

const char* kDenied = "Access is denied. (0x00000005 / 5)";

// A search whose probes and store only record: the test plays the network.
struct FakeSystem {
  explicit FakeSystem(std::vector<NetworkInterface> listing, bool listingFails = false) {
    AutodetectServices services;
    services.listInterfaces = [=](std::vector<NetworkInterface>& out, std::string& errorText) {
      out = listing;
      if (listingFails) errorText = kDenied;
      return !listingFails;
    };
    services.startProbe = [this](const std::shared_ptr<AutodetectSearch>& search,
                                 const std::string& host, int32_t tag) {
      sent.push_back(host);
      tags.push_back(tag);
      if (onStart) onStart(search, host);
      return startSucceeds;
    };
    services.storeServer = [this](const std::string& host) {
      if (storeFails) throw std::runtime_error(kDenied);
      stored.push_back(host);
    };
    search = std::make_shared<AutodetectSearch>(services);
  }

  const AutodetectUpdate& note(const AutodetectUpdate& update) {
    last = update;
    if (update.ends) ++ends, end = update;
    return last;
  }

  // Ticks while the search wants ticks. Each probe is reported at once as
  // answer says, or held back when answer gives "hold".
  void scan(const std::function<const char*(const std::string& host)>& answer) {
    note(search->Start([this] { ++wakes; }));
    while (last.timerNeeded) {
      const size_t before = sent.size();
      shown.push_back(note(search->ProbeTimer()).probeAddress);
      for (size_t i = before; answer && i < sent.size(); ++i) {
        const char* id = answer(sent[i]);
        if (id && std::strcmp(id, "hold") == 0) {
          held.push_back(sent[i]);
        } else {
          search->ProbeReport(report(sent[i], id));
          note(search->TakeUpdate());
        }
      }
    }
  }

  std::shared_ptr<AutodetectSearch> search;
  std::vector<std::string> sent, held, stored, shown;
  std::vector<int32_t> tags;
  AutodetectUpdate last, end;
  int ends = 0;
  std::atomic<int> wakes{0};
  bool startSucceeds = true;
  bool storeFails = false;
  std::function<void(const std::shared_ptr<AutodetectSearch>&, const std::string&)> onStart;
};

TEST(NextProbeAddress, CountsInHostOrderAndSaysWhenTheBlockIsDone) {
  struct Case {
    const char *address, *mask, *next;
    bool exhausted;
  } cases[] = {
      {"10.0.0.255", "255.255.255.0", "10.0.1.0", true},  // the carry reaches the third byte
      {"192.168.1.62", "255.255.255.192", "192.168.1.63", false},
      {"192.168.1.63", "255.255.255.192", "192.168.1.64", true},
      {"192.168.1.37", "255.255.255.255", "192.168.1.38", true},
  };
  for (const Case& c : cases) {
    Ipv4Address address = dotted(c.address);
    EXPECT_EQ(NextProbeAddress(address, dotted(c.mask)), c.exhausted) << c.address;
    EXPECT_EQ(DottedAddress(address), c.next);
  }
}

// Which addresses a scan probes, in which order and with which tags, and the
// progress that goes with them. No probe starts here: each then counts as
// reported at once, and the scan still ends.
TEST(AutodetectSearch, ProbesTheGroupThenEachBlockButNeverThePc) {
  struct Case {
    std::vector<NetworkInterface> listing;
    std::vector<std::string> first;  // the first targets sent
    std::string last;                // sent with tag 1; none when the PC's address is last
    size_t sent;
    int32_t range;  // two steps for each address of the blocks, the PC's own included
  } cases[] = {
      {{iface("192.168.1.37", "255.255.255.0", true)},
       {"224.0.1.1", "192.168.1.0", "192.168.1.1"},
       "192.168.1.255",
       256,
       514},
      {{iface("10.1.2.3", "255.0.0.0")}, {"10.0.0.0", "10.0.0.1"}, "10.0.0.255", 256, 512},
      {{iface("192.168.1.37", "255.255.255.192")}, {"192.168.1.0"}, "192.168.1.63", 63, 128},
      {{iface("192.168.1.37", "255.255.255.255")}, {}, "", 0, 2},
      // Only usable interfaces count: a multicast interface that is down adds
      // no group probe, the loop-back adds nothing.
      {{iface("127.0.0.1", "255.0.0.0", true), iface("172.16.5.9", "255.255.0.0", true, false),
        iface("192.168.7.1", "255.255.255.252"), iface("192.168.9.200", "255.255.255.0")},
       {"192.168.7.0", "192.168.7.2", "192.168.7.3", "192.168.9.0"},
       "192.168.9.255",
       3 + 255,
       2 * (4 + 256)},
  };
  for (const Case& c : cases) {
    FakeSystem system(c.listing);
    system.startSucceeds = false;
    system.scan(nullptr);
    const std::string pc = DottedAddress(c.listing.back().address);
    SCOPED_TRACE(pc);
    ASSERT_EQ(system.sent.size(), c.sent);
    EXPECT_EQ(std::vector<std::string>(system.sent.begin(), system.sent.begin() + c.first.size()),
              c.first);
    EXPECT_EQ(std::set<std::string>(system.sent.begin(), system.sent.end()).size(), c.sent);
    for (size_t i = 0; i < c.sent; ++i) {
      EXPECT_EQ(system.tags[i], system.sent[i] == c.last ? 1 : 0) << system.sent[i];
      EXPECT_NE(system.sent[i], pc);
    }
    EXPECT_EQ(std::count(system.shown.begin(), system.shown.end(), pc),
              pc == "10.1.2.3" ? 0 : 1);  // shown, never sent, when in the block
    EXPECT_EQ(system.last.progressRange, c.range);
    EXPECT_EQ(system.last.progressPosition, static_cast<int32_t>(2 * c.sent));
    ASSERT_EQ(system.ends, 1);
    EXPECT_EQ(system.end.boxText.substr(0, 36), "Unable to find a local time server.\r");
  }
}

// What a /24 scan stores and shows, by who answers when.
TEST(AutodetectSearch, KeepsTheApplianceAtOnceOrElseTheLastToAnswer) {
  const std::string foundText =
      ".\r\n\r\n(Of course, it's not an Orvantis server,\r\nbut we'll forgive you!)";
  struct Case {
    std::string pc;
    std::vector<std::pair<std::string, const char*>> answers;  // "hold": reports after the scan
    std::string stored;
    std::string box;
    size_t sent;  // before the end
  } cases[] = {
      {"192.168.1.37",
       {{"192.168.1.5", "GPS\0"}, {"192.168.1.9", "LOCL"}},
       "192.168.1.9",
       "Found time server at 192.168.1.9" + foundText,
       256},
      {"192.168.1.37",
       {{"192.168.1.5", "hold"}, {"192.168.1.9", "GPS\0"}},
       "192.168.1.5",
       "Found time server at 192.168.1.5" + foundText,
       256},
      {"192.168.1.37",
       {{"224.0.1.1", "GPS\0"}},
       "224.0.1.1",
       "Found time server at 224.0.1.1" + foundText,
       256},
      {"192.168.1.37",
       {{"192.168.1.5", "GPS\0"}, {"192.168.1.255", "Mire"}},
       "192.168.1.255",
       "Found Mirelock at 192.168.1.255",
       256},
      {"192.168.1.37",
       {{"192.168.1.5", "Mire"}, {"192.168.1.9", "GPS\0"}},
       "192.168.1.5",
       "Found Mirelock at 192.168.1.5",
       7},
      // The PC's address is the last target while a probe is still out: the
      // scan is over when that probe has reported, not before.
      {"192.168.1.255",
       {{"192.168.1.254", "hold"}},
       "192.168.1.254",
       "Found time server at 192.168.1.254" + foundText,
       256},
      // Nothing could be stored: the box says why instead.
      {"", {{"192.168.1.5", "Mire"}}, "", kDenied, 7},
      {"", {{"192.168.1.5", "GPS\0"}}, "", kDenied, 256},
  };
  for (const Case& c : cases) {
    FakeSystem system({iface(c.pc.empty() ? "192.168.1.37" : c.pc, "255.255.255.0", true)});
    SCOPED_TRACE(c.box);
    system.storeFails = c.pc.empty();
    system.scan([&](const std::string& host) -> const char* {
      for (const auto& a : c.answers) {
        if (a.first == host) return a.second;
      }
      return nullptr;
    });
    for (const std::string& host : system.held) {
      EXPECT_EQ(system.ends, 0) << "ended with a probe still out";
      system.search->ProbeReport(report(host, "GPS\0"));
      system.note(system.search->TakeUpdate());
    }
    EXPECT_EQ(system.stored,
              c.stored.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.stored});
    ASSERT_EQ(system.ends, 1);
    EXPECT_EQ(system.end.result, system.end.boxText.rfind("Found Mirelock", 0) == 0 ? 1 : 0);
    EXPECT_EQ(system.end.boxText, c.box);
    EXPECT_EQ(system.sent.size(), c.sent);
    EXPECT_FALSE(system.search->Abort().ends);
  }
}

TEST(AutodetectSearch, EndsAtOnceWhenThereIsNothingToScan) {
  FakeSystem refused({iface("192.168.1.37", "255.255.255.0")}, true);
  FakeSystem unusable(
      {iface("127.0.0.1", "255.0.0.0", true), iface("10.0.0.1", "255.0.0.0", true, false)});
  refused.scan(nullptr);
  unusable.scan(nullptr);
  EXPECT_EQ(refused.ends, 1);
  EXPECT_EQ(refused.end.boxText, kDenied);
  EXPECT_EQ(refused.end.result + unusable.end.result, 0);
  EXPECT_EQ(unusable.ends, 1);
  EXPECT_EQ(unusable.end.boxText, "");
  EXPECT_TRUE(refused.sent.empty() && unusable.sent.empty());
}

TEST(AutodetectSearch, AbortStoresNothingAndLaterReportsChangeNothing) {
  FakeSystem system({iface("192.168.1.37", "255.255.255.0", true)});
  system.note(system.search->Start([&system] { ++system.wakes; }));
  for (int tick = 0; tick < 10; ++tick) system.search->ProbeTimer();
  system.search->ProbeReport(report(system.sent[1], "GPS\0"));
  const AutodetectUpdate aborted = system.note(system.search->Abort());
  EXPECT_EQ(aborted.result, 0);
  EXPECT_EQ(aborted.boxText, "");
  const int wakes = system.wakes;
  // Probes in flight report, the appliance among them; the timer ticks once more.
  system.search->ProbeReport(report(system.sent[2], "Mire"));
  for (size_t i = 3; i < system.sent.size(); ++i)
    system.search->ProbeReport(report(system.sent[i]));
  system.note(system.search->ProbeTimer());
  EXPECT_EQ(system.ends, 1);
  EXPECT_FALSE(system.last.timerNeeded);
  EXPECT_EQ(system.last.progressPosition, aborted.progressPosition);
  EXPECT_EQ(system.sent.size(), 10u);
  EXPECT_TRUE(system.stored.empty());
  EXPECT_EQ(system.wakes, wakes);
}

// Reports from many threads at once, racing the timer and Abort: the list of
// servers, the store and the end stay consistent (run under ThreadSanitizer).
TEST(AutodetectSearch, ReportsFromManyThreadsEndTheSearchOnce) {
  for (bool abortMidway : {false, true}) {
    FakeSystem system({iface("10.9.8.7", "255.255.255.0", true)});
    std::vector<std::thread> probes;
    system.onStart = [&probes](const std::shared_ptr<AutodetectSearch>& search,
                               const std::string& host) {
      probes.emplace_back([search, host] {
        search->ProbeReport(report(host, host == "10.9.8.200" ? "Mire" : "GPS\0"));
      });
    };
    system.note(system.search->Start([&system] { ++system.wakes; }));
    for (int tick = 0; system.last.timerNeeded; ++tick) {
      system.note(system.search->ProbeTimer());
      system.note(system.search->TakeUpdate());
      if (abortMidway && tick == 100) system.note(system.search->Abort());
    }
    for (auto& probe : probes) probe.join();
    system.note(system.search->TakeUpdate());
    system.note(system.search->Abort());
    EXPECT_EQ(system.ends, 1);
    // The appliance's probe comes long after tick 100.
    EXPECT_EQ(system.end.result, abortMidway ? 0 : 1);
    EXPECT_EQ(system.stored,
              abortMidway ? std::vector<std::string>{} : std::vector<std::string>{"10.9.8.200"});
  }
}

// Real probes to loop-back addresses where nothing listens: each reports
// through its request thread, which holds the search until then.
TEST(AutodetectSearch, RealProbesReportThroughTheirThreads) {
  AutodetectServices services;
  services.listInterfaces = [](std::vector<NetworkInterface>& out, std::string&) {
    out = {iface("127.77.0.1", "255.255.255.252")};
    return true;
  };
  services.storeServer = [](const std::string&) {};  // never the user's settings
  auto search = std::make_shared<AutodetectSearch>(services);
  std::atomic<int> wakes{0};
  AutodetectUpdate update = search->Start([&wakes] { ++wakes; });
  while ((update = search->ProbeTimer()).timerNeeded) {
  }
  // Each probe reports within its 150 ms timeout; the bound only keeps a
  // broken build from hanging.
  for (int i = 0; i < 3000 && !update.ends; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    update = search->TakeUpdate();
  }
  ASSERT_TRUE(update.ends);
  EXPECT_EQ(update.progressPosition, 6);  // 127.77.0.0, .2 and .3, each sent and reported
  EXPECT_GT(wakes, 0);
}

}  // namespace
}  // namespace veltraw
