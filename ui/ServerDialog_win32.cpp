// Not built yet: the entry point answers as if the user cancelled.
#include "ui/Dialogs_win32.h"

namespace veltraw {

bool runServerDialog(HINSTANCE) { return false; }

}  // namespace veltraw
