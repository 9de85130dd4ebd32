// Runs a fuzz target's saved inputs once each, for builds without libFuzzer:
//   fuzz_<name> PATH...
// A PATH is an input file or a directory of them. The harness aborts on a
// broken rule; the last "input" line printed names the input that did it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

bool collectInputs(const fs::path& path, std::vector<fs::path>& inputs) {
  std::error_code error;
  if (fs::is_regular_file(path, error)) {
    inputs.push_back(path);
    return true;
  }
  if (!fs::is_directory(path, error)) return false;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(path, error)) {
    if (entry.is_regular_file(error)) files.push_back(entry.path());
  }
  if (error) return false;
  // A fixed order, so that a failure repeats the same way.
  std::sort(files.begin(), files.end());
  inputs.insert(inputs.end(), files.begin(), files.end());
  return true;
}

bool readFile(const fs::path& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!collectInputs(argv[i], inputs)) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 2;
    }
  }

  // libFuzzer always tries the empty input too, through a valid pointer.
  static const uint8_t noBytes[1] = {};
  LLVMFuzzerTestOneInput(noBytes, 0);
  for (const fs::path& input : inputs) {
    std::printf("input %s\n", input.string().c_str());
    std::fflush(stdout);
    std::vector<uint8_t> bytes;
    if (!readFile(input, bytes)) {
      std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
      return 2;
    }
    // A copy of exactly the input's size, so that a read past its end is
    // caught by AddressSanitizer as it would be under libFuzzer.
    const std::vector<uint8_t> exact(bytes);
    LLVMFuzzerTestOneInput(exact.empty() ? noBytes : exact.data(), exact.size());
  }
  std::printf("replayed %lu inputs\n", static_cast<unsigned long>(inputs.size() + 1));
  return 0;
}
