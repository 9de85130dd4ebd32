// There are no Run keys outside Windows: every attempt to change
// it reports that the operation is not supported.
#include <cerrno>

#include "app/AutoLaunch.h"

namespace veltraw {

namespace {

class UnsupportedRunKey : public RunKey {
 public:
  uint32_t open(RunKeyScope, bool) override { return ENOTSUP; }
  bool hasValue(const std::string&) override { return false; }
  uint32_t setValue(const std::string&, const std::string&) override { return ENOTSUP; }
  uint32_t deleteValue(const std::string&) override { return ENOTSUP; }
  uint32_t close() override { return 0; }
  uint32_t modulePath(std::string&) override { return ENOTSUP; }
};

}  // namespace

RunKey& RunKey::Platform() {
  static UnsupportedRunKey key;
  return key;
}

}  // namespace veltraw
