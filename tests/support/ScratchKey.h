// A settings key of the test's own, so that no test touches the user's real
// settings: a key name unique to the process on Windows, deleted afterwards; a
// fresh temporary directory elsewhere, removed afterwards.
#pragma once

#include <memory>
#include <string>

#include "LIB/Registry/SettingsKey.h"

namespace veltraw::test {

class ScratchKey {
 public:
  ScratchKey();
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  std::unique_ptr<SettingsKey> open() const {
    return std::make_unique<SettingsKey>(m_name, m_directory);
  }
  const std::string& name() const { return m_name; }
  const std::string& directory() const { return m_directory; }  // empty on Windows
  // Makes every later write to the key fail, as a full disk or a denied
  // registry would, while reads still see what is stored. False where the
  // platform offers no way to do that; the test then has nothing to check.
  bool refuseWrites();

 private:
  std::string m_name;
  std::string m_directory;
};

}  // namespace veltraw::test
