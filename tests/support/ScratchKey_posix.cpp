#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "support/ScratchKey.h"

namespace veltraw::test {

ScratchKey::ScratchKey() : m_name("Veltraw") {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/veltraw-settings-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  m_directory = pattern;
}

ScratchKey::~ScratchKey() {
  std::error_code ignored;
  std::filesystem::remove_all(m_directory, ignored);
}

}  // namespace veltraw::test
