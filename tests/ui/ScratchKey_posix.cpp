#include <cstdio>
#include <string>

#include "ScratchKey.h"

namespace veltraw::test {

void removeUiTestKey() {
  const std::string file = std::string(kUiTestDirectory) + "/" + kUiTestKey + ".conf";
  for (const char* suffix : {"", ".lock", ".tmp"}) std::remove((file + suffix).c_str());
  std::remove(kUiTestDirectory);
}

}  // namespace veltraw::test
