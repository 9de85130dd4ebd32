#include <windows.h>

#include "app/MessageBox.h"

namespace veltraw {

int32_t platformMessageBox(const MessageBoxRequest& request) {
  return MessageBoxA(static_cast<HWND>(request.owner), request.text.c_str(),
                     request.caption.c_str(), request.style);
}

}  // namespace veltraw
