// No clock service outside Windows: the caller sets the clock itself.
#include "service/ClockServiceClient.h"

namespace veltraw {

ClockServiceAnswer AskClockService(const ClockServiceRequest&) { return {}; }

}  // namespace veltraw
