// The Exit and About dialogs: modal, no owner window, one shared procedure.
#pragma once

#include <windows.h>

namespace veltraw {

// True when the user chose "&Exit"; false for Cancel, Escape or the close box.
bool runExit(HINSTANCE module);
void runAbout(HINSTANCE module);

}  // namespace veltraw
