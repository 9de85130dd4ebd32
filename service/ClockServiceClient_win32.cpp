// Placeholder until the pipe client lands: behaves as if no service ran.
#include "service/ClockServiceClient.h"

namespace veltraw {

ClockServiceAnswer AskClockService(const ClockServiceRequest&) { return {}; }

}  // namespace veltraw
