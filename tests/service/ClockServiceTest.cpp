#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <tuple>

#include "app/AppTestSupport.h"
#include "service/ClockRequestHandler.h"

namespace veltraw {
namespace {

ClockServiceRequest requestFor(const std::string& server, int32_t maxRoundTripMs = 0,
                               int32_t stepThresholdMs = 0) {
  ClockServiceRequest r;
  r.server = server;
  r.trayOffsetMs = -7;
  r.maxRoundTripMs = maxRoundTripMs;
  r.stepThresholdMs = stepThresholdMs;
  return r;
}

// Which part of a message is wrong. The fuzzer's corpus holds a copy of the
// sound one with each field damaged in turn, and the fuzzer checks that a
// refused message fills in nothing.
TEST(ServiceMessage, ReaderTakesOnlySoundMessages) {
  uint8_t sound[kRequestSize];
  WriteRequest(requestFor("az.AZ-09.example", 30, 200), sound);
  ClockServiceRequest read;
  ASSERT_EQ(ReadRequest(sound, sizeof sound, read), MessageFault::None);
  EXPECT_EQ(std::tie(read.server, read.trayOffsetMs, read.maxRoundTripMs, read.stepThresholdMs),
            std::make_tuple("az.AZ-09.example", -7, 30, 200));
  const struct {
    size_t at;
    uint8_t value;
    size_t size;
    MessageFault fault;
  } cases[] = {
      {0, 'X', kRequestSize, MessageFault::Magic},
      {4, 2, kRequestSize + 8, MessageFault::Version},  // a newer peer, a longer message
      {0, 'V', kRequestSize - 1, MessageFault::Size},   // half a message
      {6, 2, kRequestSize, MessageFault::Kind},         // an answer sent back
      {26, ' ', kRequestSize, MessageFault::Field},     // not a host name
  };
  for (const auto& c : cases) {
    uint8_t message[kRequestSize + 8] = {};
    std::memcpy(message, sound, sizeof sound);
    message[c.at] = c.value;
    ClockServiceRequest request;
    EXPECT_EQ(ReadRequest(message, c.size, request), c.fault) << c.at;
  }
}

TEST(ServiceMessage, AnswerCarriesFiguresAndCleanText) {
  ClockServiceAnswer sent;
  sent.outcome = ClockServiceOutcome::Failed;
  sent.status = BadReference;
  sent.offsetUs = -5000123456;
  sent.roundTripUs = 20311;
  sent.text = "A required privilege is not held by the client.\r\n" + std::string(300, 'x');
  uint8_t message[kAnswerSize];
  WriteAnswer(sent, message);
  ClockServiceAnswer read;
  ASSERT_EQ(ReadAnswer(message, sizeof message, read), MessageFault::None);
  EXPECT_EQ(std::tie(read.outcome, read.status, read.offsetUs, read.roundTripUs),
            std::tie(sent.outcome, sent.status, sent.offsetUs, sent.roundTripUs));
  EXPECT_EQ(read.text, sent.text.substr(0, 47) + "  " + std::string(kServiceTextSize - 50, 'x'));
}

// Addresses as the resolver and the interface list give them.
SocketAddress v4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  SocketAddress s;
  s.family = AddressFamily::IPv4;
  const uint8_t bytes[] = {a, b, c, d};
  std::memcpy(s.address, bytes, 4);
  return s;
}
SocketAddress v6() {
  SocketAddress s;
  s.family = AddressFamily::IPv6;
  s.address[0] = 0x20;
  return s;
}

class FakeEnvironment : public ServerEnvironment {
 public:
  bool AllowedServers(std::vector<std::string>& servers) override {
    servers = allowed;
    return hasList;
  }
  bool Resolve(const std::string& name, std::vector<SocketAddress>& addresses) override {
    addresses = names[name];
    return !addresses.empty();
  }
  bool OwnInterfaces(std::vector<NetworkInterface>& interfaces) override {
    NetworkInterface own;
    own.address = {192, 0, 2, 10};
    own.netmask = {255, 255, 255, 0};
    interfaces = {own};
    return true;
  }

  bool hasList = false;
  std::vector<std::string> allowed;
  std::map<std::string, std::vector<SocketAddress>> names{
      {"good", {v6(), v4(198, 51, 100, 7), v4(198, 51, 100, 8)}},
      {"loop", {v4(127, 0, 0, 5)}},
      {"self", {v4(198, 51, 100, 9), v4(192, 0, 2, 10)}},
      {"subnet", {v4(192, 0, 2, 255)}},
      {"group", {v4(224, 0, 1, 1)}},
      {"zero", {v4(0, 0, 0, 0)}},
      {"v6only", {v6()}},
  };
};

TEST(ClockServiceRules, ServersOfTheListOrOtherMachinesOnly) {
  const struct {
    bool hasList;
    const char* server;
    const char* host;  // empty: refused
  } cases[] = {
      {false, "good", "198.51.100.7"},
      {false, "loop", ""},
      {false, "self", ""},
      {false, "subnet", ""},
      {false, "group", ""},
      {false, "zero", ""},
      {false, "v6only", ""},
      {false, "nowhere", ""},
      // The administrator's list decides alone, loopback included.
      {true, "LOOP", "LOOP"},
      {true, "good", ""},
  };
  for (const auto& c : cases) {
    FakeEnvironment environment;
    environment.hasList = c.hasList;
    environment.allowed = {" loop ", "other"};
    const ServerChoice choice = ChooseServer(c.server, environment);
    EXPECT_EQ(choice.host, c.host) << c.server;
    EXPECT_EQ(choice.refusal.empty(), *c.host != 0) << c.server;
  }
}

// A result of the series: the averages and a last reply with the same offset
// and round trip.
NtpResult measured(NtpStatus status, int32_t offsetMs, int32_t roundTripMs) {
  NtpResult r;
  r.status = status;
  r.offsetMs = offsetMs;
  r.roundTripMs = roundTripMs;
  r.hasPacket = status == Ok;
  const NtpTimestamp t1 = NtpTimestamp::Make(0xE9000000, 0);
  const auto ms = [](int32_t v) {
    return NtpTimestamp(static_cast<uint64_t>(int64_t{v} * 4294967296 / 1000));
  };
  const NtpTimestamp t2 = t1 + ms(offsetMs + roundTripMs / 2);
  t1.WriteWire(r.packet.bytes + NtpPacket::kOriginateTimestampOffset);
  t2.WriteWire(r.packet.bytes + NtpPacket::kReceiveTimestampOffset);
  t2.WriteWire(r.packet.bytes + NtpPacket::kTransmitTimestampOffset);
  r.arrival = t1 + ms(roundTripMs);
  return r;
}

struct Service {
  FakeEnvironment environment;
  test::FakeClock clock;
  NtpResult result = measured(Ok, 120, 20);
  std::string refusal;  // the system's answer to a step, when it refuses
  int64_t nowMs = 0;
  std::vector<std::string> hosts;
  ClockRequestHandler handler{ServiceSeams{&environment, &clock,
                                           [this](const TimeClass& time, std::string& errorText) {
                                             clock.SetClock(time);
                                             errorText = refusal;
                                             return refusal.empty();
                                           },
                                           [this](const std::string& host) {
                                             hosts.push_back(host);
                                             return result;
                                           },
                                           [this] { return nowMs; }}};
};

TEST(ClockRequestHandler, StepsOnlyFromItsOwnMeasurementByTheTraysRules) {
  const struct {
    NtpResult result;
    ClockServiceRequest request;
    const char* refusal;
    ClockServiceOutcome outcome;
  } cases[] = {
      {measured(Ok, 120, 20), requestFor("good"), "", ClockServiceOutcome::Stepped},
      {measured(Ok, -50, 20), requestFor("good"), "", ClockServiceOutcome::NotStepped},
      {measured(Ok, 120, 100), requestFor("good"), "", ClockServiceOutcome::NotStepped},
      {measured(NoResponse, 0, 0), requestFor("good"), "", ClockServiceOutcome::NotStepped},
      // Tightened by the request, never loosened.
      {measured(Ok, 120, 20), requestFor("good", 20), "", ClockServiceOutcome::NotStepped},
      {measured(Ok, 120, 20), requestFor("good", 0, 120), "", ClockServiceOutcome::NotStepped},
      {measured(Ok, 120, 150), requestFor("good", 500), "", ClockServiceOutcome::NotStepped},
      {measured(Ok, 40, 20), requestFor("good", 0, 10), "", ClockServiceOutcome::NotStepped},
      {measured(Ok, -5000, 20), requestFor("good"), "A required privilege is not held",
       ClockServiceOutcome::Failed},
      {measured(Ok, 120, 20), requestFor("loop"), "", ClockServiceOutcome::Refused},
  };
  for (const auto& c : cases) {
    Service s;
    s.result = c.result;
    s.refusal = c.refusal;
    const ClockServiceAnswer answer = s.handler.Serve(c.request);
    const bool tried = s.clock.setTimes.size() == 1;
    EXPECT_EQ(answer.outcome, c.outcome) << c.result.offsetMs << " " << c.request.server;
    EXPECT_EQ(tried, c.outcome == ClockServiceOutcome::Stepped ||
                         c.outcome == ClockServiceOutcome::Failed);
    if (c.outcome == ClockServiceOutcome::Refused) continue;
    EXPECT_EQ(s.hosts, std::vector<std::string>{"198.51.100.7"});
    EXPECT_EQ(answer.status, c.result.status);
    EXPECT_EQ(answer.offsetUs, int64_t{c.result.offsetMs} * 1000);
    EXPECT_EQ(answer.text.find(c.refusal), 0u) << answer.text;
    if (tried) {
      // The clock's own time moved by the measured offset, to the millisecond.
      const int64_t shiftUs =
          RoundedMicroseconds(SignedDifference(NtpTimestamp::FromCalendar(s.clock.setTimes[0]),
                                               NtpTimestamp::FromCalendar(s.clock.now)));
      EXPECT_NEAR(shiftUs, answer.offsetUs, 1000);
    }
  }
}

TEST(ClockRequestHandler, FewStepsAndRequestsAMinuteAndGarbageRefused) {
  Service s;
  for (int i = 0; i < 4; ++i) s.handler.Serve(requestFor("good"));
  EXPECT_EQ(s.clock.setTimes.size(), kServiceStepsPerMinute);
  s.nowMs = 60000;
  EXPECT_EQ(s.handler.Serve(requestFor("good")).outcome, ClockServiceOutcome::Stepped);
  s.result = measured(Ok, 0, 20);
  for (size_t i = 1; i < kServiceRequestsPerMinute; ++i) s.handler.Serve(requestFor("good"));
  const ClockServiceAnswer tooMany = s.handler.Serve(requestFor("good"));
  EXPECT_EQ(tooMany.outcome, ClockServiceOutcome::Refused);
  EXPECT_EQ(tooMany.text, "too many requests; the next one in 60 s");

  const uint8_t garbage[] = "GET / HTTP/1.0\r\n";
  uint8_t message[kAnswerSize];
  s.handler.Answer(garbage, sizeof garbage, message);
  ClockServiceAnswer answer;
  ASSERT_EQ(ReadAnswer(message, sizeof message, answer), MessageFault::None);
  EXPECT_EQ(answer.outcome, ClockServiceOutcome::Refused);
  EXPECT_EQ(answer.text, "malformed request: not a clock service message");
}

}  // namespace
}  // namespace veltraw
