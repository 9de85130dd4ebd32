#include <windows.h>

#include <string>

#include "ScratchKey.h"

namespace veltraw::test {

void removeUiTestKey() {
  const std::string path = std::string("Software\\Orvantis\\") + kUiTestKey;
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

}  // namespace veltraw::test
