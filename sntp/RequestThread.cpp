#include "sntp/RequestThread.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "LIB/Log/ErrorLog.h"
#include "LIB/Net/UDPSocket.h"
#include "LIB/Time/PrecisionClock.h"
#include "sntp/NtpPacket.h"
#include "sntp/ReplyEvaluation.h"

namespace veltraw {

std::atomic<int32_t> AutoRoundTripThreshold{20};
std::atomic<int32_t> AutoMaxRequests{10};

void SetAutoRequestLimits(int32_t roundTripThresholdMs, int32_t maxRequests) {
  AutoRoundTripThreshold.store(roundTripThresholdMs);
  AutoMaxRequests.store(maxRequests);
}

namespace {

constexpr uint16_t kNtpPort = 123;
constexpr int32_t kAddressTextSize = 256;

ErrorLog& Log(int32_t level) { return ErrorLog::instance().begin(level); }

NtpResult EmptyResult(const RequestArgs& args, NtpStatus status) {
  NtpResult result;
  result.host = args.host;
  result.tag = args.tag;
  result.status = status;
  return result;
}

// One datagram that the series takes for a reply.
struct Reply {
  NtpPacket packet;  // zero beyond the bytes received
  int32_t length = 0;
  NtpTimestamp arrival;  // T4
  char from[kAddressTextSize] = {};
};

class RequestSeries {
 public:
  // multicast: the socket stays unconnected, for the members of the group.
  RequestSeries(const RequestArgs& args, UDPSocket& socket, bool multicast)
      : m_args(args), m_socket(socket), m_multicast(multicast) {}

  // Sends the requests and evaluates the replies; Failed only when a send
  // fails. Socket errors raise IPException.
  NtpResult Run();

 private:
  bool Ask(Reply& reply, bool& sent);
  bool ReceiveReply(Reply& reply, int32_t waitMs);

  const RequestArgs& m_args;
  UDPSocket& m_socket;
  const bool m_multicast;
  const std::string m_sentPrefix = "Sent Packet to " + m_args.host;
  // The server's addresses in the resolver's order, until one answers; then
  // that one alone, for the rest of the series.
  std::vector<SocketAddress> m_addresses;
  bool m_kept = false;
  // T1 of the request being waited for: the one timestamp a reply may echo.
  // An echo of an earlier request is late or a copy, and its T4 would be
  // read against the wrong exchange.
  NtpTimestamp m_waitingFor;
  int32_t m_requestsSent = 0;
};

NtpResult RequestSeries::Run() {
  const bool automatic = m_args.requestCount == 0;
  const int32_t limit = automatic ? AutoMaxRequests.load() : m_args.requestCount;

  int32_t replies = 0;
  // Only good replies enter the sums: a bad one has no trustworthy offset or
  // round trip, and a made-up value would drag the averages.
  int32_t goodReplies = 0;
  int64_t offsetSum = 0;  // 64 bits: ten offsets near the 32-bit limit still add up
  int64_t roundTripSum = 0;
  bool lastBad = true;
  Reply last;
  Reply reply;

  std::chrono::steady_clock::time_point lastSend;
  for (int32_t i = 1; i <= limit; ++i) {
    if (i > 1 && m_args.minimumSpacingMs > 0) {
      std::this_thread::sleep_until(lastSend + std::chrono::milliseconds(m_args.minimumSpacingMs));
    }
    lastSend = std::chrono::steady_clock::now();
    ErrorLog& entry = Log(Detail) << "Request " << i;
    if (automatic) {
      entry << " of auto (upper limit AutoMaxRequests = " << limit << ")";
    } else {
      entry << " of " << limit;
    }
    entry << " to host " << m_args.host << End;

    // The name is looked up before T1 is stamped: a lookup between the stamp
    // and the send (a DNS query can take many milliseconds) would read as
    // network delay and shift the offset by half of it.
    if (!m_kept && !m_socket.ResolveAll(m_args.host, m_addresses, kNtpPort,
                                        m_multicast ? AddressFamily::IPv4 : AddressFamily::None)) {
      Log(Warning) << "Unable to determine address of " << m_args.host << End;
      Log(Severe) << "Unable to send SNTP packet to " << m_args.host << End;
      return EmptyResult(m_args, Failed);
    }
    bool sent = false;
    const bool answered = Ask(reply, sent);
    if (!sent) {
      Log(Severe) << "Unable to send SNTP packet to " << m_args.host << End;
      return EmptyResult(m_args, Failed);
    }
    if (!answered) continue;
    LogPacket((std::string("Received Packet from ") + reply.from).c_str(), reply.packet.bytes);

    int32_t offset = 0;
    int32_t roundTrip = 0;
    bool ok;
    if (reply.length < NtpPacket::kSize) {
      // The zero tail would otherwise be evaluated as if the server had sent it.
      Log(Warning) << "Returning bad reference because: short reply (" << reply.length << " bytes)"
                   << End;
      ok = false;
    } else {
      ok = EvaluateReply(reply.packet, reply.arrival, offset, roundTrip);
    }
    lastBad = !ok;

    ErrorLog& line = Log(Detail) << "TIME PACKET: Host=" << m_args.host << " (" << reply.from
                                 << ")  delta=" << offset << " ms  roundtrip=" << roundTrip
                                 << " ms";
    if (lastBad) line << " (bad time reference)";
    line << End;

    ++replies;
    if (ok) {
      ++goodReplies;
      offsetSum += offset;
      roundTripSum += roundTrip;
    }
    last = reply;

    if (automatic) {
      const int32_t threshold = AutoRoundTripThreshold.load();
      const int32_t average =
          goodReplies > 0 ? static_cast<int32_t>(roundTripSum / goodReplies) : 0;
      if (goodReplies > 0 && average <= threshold) {
        Log(Detail) << "Automatic requests: average round-trip = " << average
                    << " ms; number of requests = " << replies << End;
        break;
      }
      Log(Detail) << "Require more packets to stabilize round-trip time ("
                  << "ave=" << average << " < AutoRoundTripThreshold=" << threshold << ")..."
                  << End;
    }
  }

  if (replies == 0) {
    // Timeouts log nothing of their own: without this line the log of an
    // outage would be silent.
    Log(Warning) << "No response from " << m_args.host << " after " << m_requestsSent << " requests"
                 << End;
    return EmptyResult(m_args, NoResponse);
  }
  NtpResult result = EmptyResult(m_args, lastBad ? BadReference : Ok);
  result.goodReplies = goodReplies;
  if (goodReplies > 0) {
    result.offsetMs = static_cast<int32_t>(offsetSum / goodReplies);
    result.roundTripMs = static_cast<int32_t>(roundTripSum / goodReplies);
  }
  result.hasPacket = true;
  result.packet = last.packet;  // the last reply, even when later requests went unanswered
  result.arrival = last.arrival;
  return result;
}

// One request: sent to the server's addresses in turn until one answers,
// each given its share of the timeout; the first that answers is kept. sent:
// whether the request could be sent to any of them.
bool RequestSeries::Ask(Reply& reply, bool& sent) {
  using std::chrono::steady_clock;
  const auto start = steady_clock::now();
  const size_t count = m_addresses.size();
  for (size_t index = 0; index < count; ++index) {
    const SocketAddress& address = m_addresses[index];
    if (count > 1) {
      Log(Detail) << "Asking " << m_args.host << " at " << IPSocket::AddressText(address) << End;
    }
    // A refused connection leaves the socket unconnected; the send reports it.
    if (!m_multicast) m_socket.ConnectTo(address);
    NtpPacket request;
    BuildRequest(request.bytes);
    m_waitingFor = request.transmitTimestamp();
    ++m_requestsSent;
    if (!m_socket.SendToAddress(address, request.bytes, NtpPacket::kSize)) continue;
    sent = true;
    LogPacket(m_sentPrefix.c_str(), request.bytes);

    const auto spent =
        std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start);
    if (ReceiveReply(reply, AddressWaitMs(m_args.timeoutMs, static_cast<int32_t>(spent.count()),
                                          index, count))) {
      if (count > 1) m_addresses = {address};
      m_kept = true;
      return true;
    }
  }
  return false;
}

// Waits up to waitMs (0: for ever) for a datagram that may answer the request
// just sent. Any other datagram (a late reply to an earlier request, a copy
// of one already taken, a replay or a stranger's forgery) is dropped and the
// wait goes on for the rest of the time.
bool RequestSeries::ReceiveReply(Reply& reply, int32_t waitMs) {
  using std::chrono::steady_clock;
  const auto deadline = steady_clock::now() + std::chrono::milliseconds(waitMs);
  if (m_socket.Timeout() != waitMs) m_socket.SetTimeout(waitMs);
  bool received = false;
  for (;;) {
    std::memset(reply.packet.bytes, 0, sizeof reply.packet.bytes);
    reply.length = 0;
    if (!m_socket.ReceiveFrom(reply.from, kAddressTextSize, reply.packet.bytes, NtpPacket::kSize,
                              reply.length)) {
      break;
    }
    // T4 is when the reply reached the machine, not when this thread woke.
    reply.arrival = ArrivalTime(PrecisionClock::Instance().NowNtp(),
                                static_cast<uint64_t>(m_socket.ArrivalAgeNs()), reply.packet);

    // A datagram too short to hold an originate timestamp cannot be matched;
    // it goes on to be rejected as a short reply.
    const NtpTimestamp originate = reply.packet.originateTimestamp();
    if (reply.length < NtpPacket::kReceiveTimestampOffset || originate.IsZero() ||
        originate == m_waitingFor) {
      received = true;
      break;
    }
    Log(Warning) << "Ignoring reply whose originate timestamp matches no request: " << reply.from
                 << " " << originate << End;
    if (waitMs <= 0) continue;  // no timeout: wait on as before
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now());
    if (left.count() <= 0) break;
    m_socket.SetTimeout(static_cast<int32_t>(left.count()));
  }
  return received;
}

bool IsMulticastHost(const std::string& host) { return host.compare(0, 4, "224.") == 0; }

// The socket for the host; null when it cannot be made or opened (logged).
std::unique_ptr<UDPSocket> OpenSocket(const std::string& host) {
  std::unique_ptr<UDPSocket> socket;
  try {
    if (IsMulticastHost(host)) {
      socket = std::make_unique<MulticastUDPSocket>(host, kNtpPort);
    } else {
      socket = std::make_unique<UDPSocket>(host, kNtpPort);
    }
  } catch (const std::runtime_error&) {
    // The socket library did not start; reported below like any unusable socket.
    socket.reset();
  }
  if (!socket || !socket->Open(false)) {
    Log(Severe) << "Unable to open UDP socket on port " << static_cast<int32_t>(kNtpPort) << End;
    socket.reset();
  }
  return socket;
}

void CloseSocket(std::unique_ptr<UDPSocket>& socket) {
  if (!socket) return;
  socket->Close();
  socket.reset();
}

void Deliver(const RequestArgs& args, const NtpResult& result) {
  if (!args.callback) return;
  // The starter's code must not take the thread down, nor be called twice.
  try {
    args.callback(args.context, result);
  } catch (const std::exception& e) {
    Log(Severe) << "Unhandled " << e.what() << " exception in request thread" << End;
  } catch (...) {
    Log(Severe) << "Unhandled exception in request thread" << End;
  }
}

}  // namespace

int32_t AddressWaitMs(int32_t timeoutMs, int32_t spentMs, size_t index, size_t count) {
  if (timeoutMs <= 0 || count <= 1) return timeoutMs;
  const int32_t left = timeoutMs - spentMs;
  const int32_t share = index + 1 < count ? left / static_cast<int32_t>(count - index) : left;
  return share > 0 ? share : 1;
}

void RequestThreadProcedure(void* argument) {
  std::unique_ptr<RequestArgs> args(static_cast<RequestArgs*>(argument));
  std::unique_ptr<UDPSocket> socket;
  NtpResult result;
  bool completed = false;
  try {
    socket = OpenSocket(args->host);
    if (socket) {
      socket->SetTimeout(args->timeoutMs);
      RequestSeries series(*args, *socket, IsMulticastHost(args->host));
      result = series.Run();
      completed = result.status != Failed;
    }
  } catch (const IPException& e) {
    Log(Error) << "UDP/IP Error in request thread; " << e.what()
               << " socket terminated=" << (socket && socket->Terminated()) << End;
  } catch (const std::exception& e) {
    Log(Severe) << "Unhandled " << e.what() << " exception in request thread" << End;
  } catch (...) {
    Log(Severe) << "Unhandled exception in request thread" << End;
  }
  try {
    if (completed) {
      Deliver(*args, result);
      CloseSocket(socket);
    } else {
      // Replies received before a failure are not reported.
      CloseSocket(socket);
      Deliver(*args, EmptyResult(*args, Failed));
    }
  } catch (...) {
    // Out of memory for the result itself; nothing is left to report to.
  }
}

bool StartRequestThread(void* context, const std::string& host, RequestCallback callback,
                        int32_t tag, int32_t timeoutMs, int32_t requestCount) {
  RequestArgs args;
  args.context = context;
  args.host = host;
  args.callback = callback;
  args.tag = tag;
  args.timeoutMs = timeoutMs;
  args.requestCount = requestCount;
  return StartRequestSeries(args);
}

bool StartRequestSeries(const RequestArgs& described) {
  Log(Detail) << "Requesting time from " << described.host << End;
  auto args = std::make_unique<RequestArgs>(described);
  if (!PrecisionClock::StartThread("NTP Request", RequestThreadProcedure, args.get(), 3)) {
    Log(Fatal) << "Unable to start request thread" << End;
    return false;
  }
  args.release();  // the thread owns it now
  return true;
}

}  // namespace veltraw
