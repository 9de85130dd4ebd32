// Every message box of the program goes through here, so that tests can
// answer the boxes and see what would have been shown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace veltraw {

// Style and answer values are the platform's own (MB_*, ID*), so the Windows
// side passes them straight through.
enum MessageBoxStyle : uint32_t {
  BoxOk = 0x00000000,
  BoxYesNo = 0x00000004,
  BoxIconError = 0x00000010,
  BoxIconQuestion = 0x00000020,
  BoxIconWarning = 0x00000030,
  BoxIconInformation = 0x00000040,
};

enum MessageBoxAnswer : int32_t { AnswerOk = 1, AnswerCancel = 2, AnswerYes = 6, AnswerNo = 7 };

struct MessageBoxRequest {
  void* owner = nullptr;  // window handle, or none
  std::string text;
  std::string caption;
  uint32_t style = BoxOk;  // buttons | icon
};

// Shows the box modally on the calling thread and returns the button chosen.
int32_t showMessageBox(const MessageBoxRequest& request);

// Replaces the platform's box (tests); an empty handler restores it.
using MessageBoxHandler = std::function<int32_t(const MessageBoxRequest&)>;
void setMessageBoxHandler(MessageBoxHandler handler);

// The platform's box (platform file).
int32_t platformMessageBox(const MessageBoxRequest& request);

}  // namespace veltraw
