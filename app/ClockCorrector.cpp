#include "app/ClockCorrector.h"

#include <cstdio>

#include "LIB/Log/ErrorLog.h"

namespace veltraw {

namespace {

const char kNoticeTitle[] = "Veltraw cannot set the clock";

// Microseconds as milliseconds with three decimals: "-120.345 ms".
std::string milliseconds(int64_t us) {
  const uint64_t magnitude = us < 0 ? 0 - static_cast<uint64_t>(us) : static_cast<uint64_t>(us);
  char text[40];
  std::snprintf(text, sizeof text, "%s%llu.%03llu ms", us < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / 1000),
                static_cast<unsigned long long>(magnitude % 1000));
  return text;
}

// The service's own figures beside ours, so that the log shows both.
void logServiceFigures(const char* what, const ClockServiceAnswer& answer,
                       const ClockServiceRequest& request) {
  ErrorLog::instance().begin(Detail)
      << what << " (status " << answer.status << "): its offset " << milliseconds(answer.offsetUs)
      << ", round trip " << milliseconds(answer.roundTripUs) << "; ours " << request.trayOffsetMs
      << " ms" << End;
}

}  // namespace

ClockStepReport ClockCorrector::correct(const ClockServiceRequest& request,
                                        const std::function<bool()>& stepHere) {
  const ClockServiceAnswer answer = m_ask(request);
  ClockStepReport report;
  std::string cause, notice;
  switch (answer.outcome) {
    case ClockServiceOutcome::Stepped:
      logServiceFigures("The clock service stepped the clock", answer, request);
      report.outcome = ClockStepOutcome::SteppedByService;
      return report;
    case ClockServiceOutcome::NotStepped:
      // Its measurement, not ours, decides: the clock is fine by it.
      logServiceFigures("The clock service left the clock alone", answer, request);
      report.outcome = ClockStepOutcome::NotNeeded;
      return report;
    case ClockServiceOutcome::Refused:
      cause =
          "the clock service refused to step the clock from " + request.server + ": " + answer.text;
      notice = "The Veltraw clock service refused to set the clock from " + request.server + ": " +
               answer.text + ". Choose a server it accepts, or ask your administrator.";
      break;
    case ClockServiceOutcome::Failed:
      cause = "the clock service could not step the clock: " + answer.text;
      notice = "The Veltraw clock service could not set the clock: " + answer.text +
               ". Ask your administrator to check the clock service.";
      break;
    case ClockServiceOutcome::Absent:
      if (stepHere()) {
        report.outcome = ClockStepOutcome::SteppedHere;
        return report;
      }
      cause = "the system refused our step, and no clock service runs";
      notice =
          "Windows does not let Veltraw change the system time. Install the Veltraw clock "
          "service, or run Veltraw as administrator.";
      break;
  }
  ErrorLog::instance().begin(Warning) << "Clock not corrected: " << cause << End;
  report.outcome = ClockStepOutcome::CannotSet;
  if (!m_told) {
    m_told = true;
    report.noticeTitle = kNoticeTitle;
    report.noticeText = notice;
  }
  return report;
}

}  // namespace veltraw
