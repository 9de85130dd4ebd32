// Who steps the clock once a step is due. The clock service, when it runs,
// holds the right to set the clock: it measures the server itself and steps
// by its own figures. Without it this program steps the clock itself, as far
// as the system lets it. When neither can, the log says so every time and the
// user is told once per run, with the remedy.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "service/ClockServiceClient.h"

namespace veltraw {

// The way the clock service is asked; AskClockService in the program.
using ClockServiceAsker = ClockServiceAnswer (*)(const ClockServiceRequest& request);

enum class ClockStepOutcome {
  SteppedByService,
  SteppedHere,
  NotNeeded,  // the service measured no need to step (or got no usable reply)
  CannotSet,  // the service refused or failed, or none runs and our own step failed
};

struct ClockStepReport {
  ClockStepOutcome outcome = ClockStepOutcome::NotNeeded;
  // What the user is told; set only for the first CannotSet of the run.
  std::string noticeTitle;
  std::string noticeText;
};

class ClockCorrector {
 public:
  explicit ClockCorrector(ClockServiceAsker ask) : m_ask(ask) {}

  // A step from request.server is due. Asks the service (blocks, bounded by
  // the service client); when none runs, stepHere() sets the clock here and
  // says whether the system took it.
  ClockStepReport correct(const ClockServiceRequest& request,
                          const std::function<bool()>& stepHere);

 private:
  ClockServiceAsker m_ask;
  bool m_told = false;
};

}  // namespace veltraw
