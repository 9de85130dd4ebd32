// What the fuzz targets share: a reader that takes values off the fuzzer's
// bytes (zeros once they run out) and a check that aborts with its line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "invariant broken at line %d: %s\n", __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

namespace veltraw_fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool empty() const { return m_size == 0; }

  // Little-endian, the missing high bytes zero.
  template <typename T>
  T take() {
    T value = 0;
    const size_t n = m_size < sizeof(T) ? m_size : sizeof(T);
    std::memcpy(&value, m_data, n);
    m_data += n;
    m_size -= n;
    return value;
  }

  // Up to count bytes, fewer at the end of the input.
  std::string takeBytes(size_t count) {
    const size_t n = m_size < count ? m_size : count;
    std::string bytes(reinterpret_cast<const char*>(m_data), n);
    m_data += n;
    m_size -= n;
    return bytes;
  }

  // A length byte, then that many bytes.
  std::string takeShortString() { return takeBytes(take<uint8_t>()); }

  std::string takeRest() { return takeBytes(m_size); }

 private:
  const uint8_t* m_data;
  size_t m_size;
};

}  // namespace veltraw_fuzz
