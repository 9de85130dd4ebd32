// Not built yet.
#include "ui/Dialogs_win32.h"

namespace veltraw {

void openStatisticsDialog(HINSTANCE, SntpClientApp&) {}
void refreshStatisticsDialog() {}

}  // namespace veltraw
