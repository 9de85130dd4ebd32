#include <windows.h>

#include <string>

#include "ScratchSettings.h"

namespace veltraw::test {

void ScratchSettings::removeAll() {
  const std::string path = std::string("Software\\Orvantis\\") + kName;
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

}  // namespace veltraw::test
