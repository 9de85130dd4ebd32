// No desktop here: the box becomes a line on standard error, answered with
// the choice that changes nothing.
#include <cstdio>

#include "app/MessageBox.h"

namespace veltraw {

int32_t platformMessageBox(const MessageBoxRequest& request) {
  std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
  return (request.style & 0x0F) == BoxYesNo ? AnswerNo : AnswerOk;
}

}  // namespace veltraw
