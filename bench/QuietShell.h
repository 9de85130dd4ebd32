// A shell for the benchmarks that run the time-keeping core without a
// window: it shows nothing and its timer never ticks on its own.
#pragma once

#include <cstdint>
#include <string>

#include "app/AppShell.h"

namespace veltraw::bench {

class QuietShell : public AppShell {
 public:
  void showIcon(int32_t) override {}
  void showTip(const std::string&) override {}
  bool startTimer(uint32_t) override { return true; }
  void stopTimer() override {}
  void startResyncTimer(uint32_t) override {}
  uint32_t tickCount() override { return 0; }
  void postQuit() override {}
  void* ownerWindow() override { return nullptr; }
  void openServerSearch() override {}
  void showNotification(const std::string&, const std::string&) override {}
  void statisticsChanged() override {}
  void showNotice(const MessageBoxRequest&) override {}
};

}  // namespace veltraw::bench
