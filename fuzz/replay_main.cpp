// Runs a fuzz target's saved inputs once each, for builds without libFuzzer:
//   fuzz_<name> [--random COUNT] PATH...
// A PATH is an input file or a directory of them. The harness aborts on a
// broken rule; the last "input" line printed names the input that did it.
// With --random, COUNT inputs from a fixed seed follow, so that every build
// also tries the same inputs beyond the saved ones; a broken rule there names
// the input's number.
#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

long g_randomInput = -1;

void nameRandomInput(int) {
  if (g_randomInput >= 0) std::fprintf(stderr, "random input %ld\n", g_randomInput);
}

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
  long randomInputs = 0;
  int first = 1;
  if (argc > 2 && std::string(argv[1]) == "--random") {
    randomInputs = std::atol(argv[2]);
    first = 3;
  }
  if (argc <= first) {
    std::fprintf(stderr, "usage: %s [--random COUNT] FILE_OR_DIRECTORY...\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> inputs;
  for (int i = first; i < argc; ++i) {
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
  std::signal(SIGABRT, nameRandomInput);
  std::mt19937 random(20060305);
  for (g_randomInput = 0; g_randomInput < randomInputs; ++g_randomInput) {
    std::vector<uint8_t> bytes(random() % 256);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    LLVMFuzzerTestOneInput(bytes.empty() ? noBytes : bytes.data(), bytes.size());
  }
  std::printf("replayed %lu inputs and %ld random ones\n",
              static_cast<unsigned long>(inputs.size() + 1), randomInputs);
  return 0;
}
