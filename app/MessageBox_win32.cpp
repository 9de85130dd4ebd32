#include <windows.h>

#include "app/MessageBox.h"

namespace veltraw {

// The portable names are the platform's own numbers, passed straight through.
static_assert(BoxOk == MB_OK && BoxYesNo == MB_YESNO);
static_assert(BoxIconError == MB_ICONERROR && BoxIconQuestion == MB_ICONQUESTION &&
              BoxIconWarning == MB_ICONWARNING && BoxIconInformation == MB_ICONINFORMATION);
static_assert(AnswerOk == IDOK && AnswerCancel == IDCANCEL && AnswerYes == IDYES &&
              AnswerNo == IDNO);

int32_t platformMessageBox(const MessageBoxRequest& request) {
  return MessageBoxA(static_cast<HWND>(request.owner), request.text.c_str(),
                     request.caption.c_str(), request.style);
}

}  // namespace veltraw
