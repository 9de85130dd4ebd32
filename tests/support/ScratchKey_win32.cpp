#include <windows.h>

#include <atomic>

#include "support/ScratchKey.h"

namespace veltraw::test {

ScratchKey::ScratchKey() {
  static std::atomic<int> counter{0};
  m_name = "VeltrawTest" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}

ScratchKey::~ScratchKey() {
  const std::string path = "Software\\Orvantis\\" + m_name;
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  // Removes the parent only when the tests left it empty; a real key keeps it.
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Orvantis");
}

// The registry of the current user cannot be made to refuse its owner here.
bool ScratchKey::refuseWrites() { return false; }

}  // namespace veltraw::test
