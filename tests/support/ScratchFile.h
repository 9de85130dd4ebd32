// Files the tests write and read back.
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace veltraw::test {

// The whole file as bytes, "" when it does not exist.
inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file of the test's own in the working directory (the build tree),
// removed before and after.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& stem) : path("veltraw-test-" + stem + ".tmp") {
    std::remove(path.c_str());
  }
  ~ScratchFile() { std::remove(path.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  std::string contents() const { return readFile(path); }

  const std::string path;
};

}  // namespace veltraw::test
