#include "service/ClockRequestHandler.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

#include "LIB/Log/ErrorLog.h"
#include "app/ClockStep.h"
#include "sntp/RequestThread.h"

namespace veltraw {

namespace {

ErrorLog& Log(int32_t level) { return ErrorLog::instance().begin(level); }

std::string seconds(int64_t ms) { return std::to_string((ms + 999) / 1000) + " s"; }

int64_t magnitude(int64_t value) { return value < 0 ? -value : value; }

}  // namespace

ClockRequestHandler::ClockRequestHandler(ServiceSeams seams) : m_seams(std::move(seams)) {}

ClockServiceAnswer ClockRequestHandler::refuse(const std::string& why) {
  Log(Warning) << "Refused: " << why << End;
  ClockServiceAnswer answer;
  answer.outcome = ClockServiceOutcome::Refused;
  answer.status = Failed;
  answer.text = why;
  return answer;
}

ClockServiceAnswer ClockRequestHandler::Serve(const ClockServiceRequest& request) {
  const ServiceThresholds limits = EffectiveThresholds(request);
  Log(Detail) << "Request to correct the clock from " << request.server << " (the tray measured "
              << request.trayOffsetMs << " ms); round trip below " << limits.maxRoundTripMs
              << " ms, step beyond " << limits.stepThresholdMs << " ms" << End;
  // Counted before the name is resolved: a flood of requests costs no more
  // lookups than measurements.
  int64_t waitMs = 0;
  if (!m_requests.Take(m_seams.steadyMs(), waitMs)) {
    return refuse("too many requests; the next one in " + seconds(waitMs));
  }
  const ServerChoice choice = ChooseServer(request.server, *m_seams.servers);
  if (!choice.refusal.empty()) return refuse(choice.refusal);

  const NtpResult result = m_seams.measure(choice.host);
  ClockServiceAnswer answer;
  answer.outcome = ClockServiceOutcome::NotStepped;
  answer.status = result.status;
  answer.offsetUs = int64_t{result.offsetMs} * 1000;
  answer.roundTripUs = int64_t{result.roundTripMs} * 1000;
  if (result.hasPacket) {
    // The last reply at full resolution: the one the step is taken from.
    const NtpPacket& p = result.packet;
    answer.offsetUs = RoundedMicroseconds(replyOffset(result));
    answer.roundTripUs = RoundedMicroseconds(RoundTrip(p.originateTimestamp(), p.receiveTimestamp(),
                                                       p.transmitTimestamp(), result.arrival));
  }
  Log(Detail) << "Measured " << choice.host << ": status " << int32_t{result.status} << ", offset "
              << std::to_string(answer.offsetUs) << " us, round trip "
              << std::to_string(answer.roundTripUs) << " us" << End;

  // The same rules as the tray's, on the series' averages.
  if (result.status != Ok || !result.hasPacket) {
    answer.text = "no usable reply from " + request.server;
  } else if (result.roundTripMs >= limits.maxRoundTripMs) {
    answer.text = "round trip " + std::to_string(result.roundTripMs) + " ms is not below " +
                  std::to_string(limits.maxRoundTripMs) + " ms";
  } else if (magnitude(result.offsetMs) <= limits.stepThresholdMs) {
    answer.text = "offset " + std::to_string(result.offsetMs) + " ms is within " +
                  std::to_string(limits.stepThresholdMs) + " ms";
  }
  if (!answer.text.empty()) {
    Log(Detail) << "Not stepping: " << answer.text << End;
    return answer;
  }
  if (!m_steps.Take(m_seams.steadyMs(), waitMs)) {
    ClockServiceAnswer refused = refuse("too many steps; the next one in " + seconds(waitMs));
    refused.status = answer.status;
    refused.offsetUs = answer.offsetUs;
    refused.roundTripUs = answer.roundTripUs;
    return refused;
  }
  // The logging took its time: the step reads the clock again, at the moment
  // the time to set has just passed a whole millisecond.
  const TimeClass target = alignedStepTime(*m_seams.clock, replyOffset(result));
  std::string errorText;
  if (m_seams.setClock(target, errorText)) {
    answer.outcome = ClockServiceOutcome::Stepped;
    Log(Warning) << "Stepped the clock by " << std::to_string(answer.offsetUs) << " us to "
                 << target << ", measured from " << choice.host << End;
  } else {
    answer.outcome = ClockServiceOutcome::Failed;
    answer.text = errorText;
    Log(Error) << "Unable to step the clock by " << std::to_string(answer.offsetUs)
               << " us: " << errorText << End;
  }
  return answer;
}

void ClockRequestHandler::Answer(const uint8_t* message, size_t size,
                                 uint8_t (&answer)[kAnswerSize]) {
  ClockServiceRequest request;
  const MessageFault fault = ReadRequest(message, size, request);
  WriteAnswer(fault == MessageFault::None
                  ? Serve(request)
                  : refuse(std::string("malformed request: ") + MessageFaultText(fault)),
              answer);
}

NtpResult MeasureServer(const std::string& host) {
  // Shared with the series, which may outlive a wait that gave up.
  struct Wait {
    std::mutex lock;
    std::condition_variable done;
    bool reported = false;
    NtpResult result;
  };
  auto wait = std::make_shared<Wait>();
  RequestArgs args;
  args.context = new std::shared_ptr<Wait>(wait);
  args.host = host;
  args.timeoutMs = kServiceReplyTimeoutMs;
  args.requestCount = kServiceRequestCount;
  args.callback = [](void* context, const NtpResult& result) {
    std::unique_ptr<std::shared_ptr<Wait>> owner(static_cast<std::shared_ptr<Wait>*>(context));
    Wait& w = **owner;
    std::lock_guard<std::mutex> hold(w.lock);
    w.result = result;
    w.reported = true;
    w.done.notify_all();
  };
  NtpResult timedOut;
  timedOut.host = host;
  timedOut.status = NoResponse;
  if (!StartRequestSeries(args)) {
    delete static_cast<std::shared_ptr<Wait>*>(args.context);
    timedOut.status = Failed;
    return timedOut;
  }
  std::unique_lock<std::mutex> hold(wait->lock);
  if (!wait->done.wait_for(hold, std::chrono::milliseconds(kServiceSeriesLimitMs),
                           [&] { return wait->reported; })) {
    return timedOut;
  }
  return wait->result;
}

}  // namespace veltraw
