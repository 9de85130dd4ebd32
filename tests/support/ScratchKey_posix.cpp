#include <stdlib.h>
#include <sys/stat.h>

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

bool ScratchKey::refuseWrites() {
  // A write goes to a temporary file beside the settings file and is renamed
  // into place; a directory in the temporary file's place refuses it, whoever
  // runs the test.
  return ::mkdir((m_directory + "/" + m_name + ".conf.tmp").c_str(), 0700) == 0;
}

}  // namespace veltraw::test
