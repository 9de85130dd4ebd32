#include <cstdio>
#include <string>

#include "ScratchSettings.h"

namespace veltraw::test {

void ScratchSettings::removeAll() {
  const std::string file = std::string(kDirectory) + "/" + kName + ".conf";
  for (const char* suffix : {"", ".lock", ".tmp"}) std::remove((file + suffix).c_str());
  std::remove(kDirectory);
}

}  // namespace veltraw::test
