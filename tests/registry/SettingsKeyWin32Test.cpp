// The registry store against the real registry: what it creates and stores,
// and values of odd shape that other programs (or a person with regedit) left.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>

#include "LIB/Log/Failure.h"
#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

using test::ScratchKey;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// The scratch key opened directly, as another program would.
class RawKey {
 public:
  explicit RawKey(const ScratchKey& scratch) : path("Software\\Orvantis\\" + scratch.name()) {
    status = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &m_key);
  }
  ~RawKey() {
    if (status == ERROR_SUCCESS) RegCloseKey(m_key);
  }
  void set(const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExA(m_key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }
  // Stored type and size.
  std::pair<DWORD, DWORD> shape(const char* name) {
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(m_key, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    return {type, size};
  }
  const std::string path;
  LONG status;

 private:
  HKEY m_key = nullptr;
};

TEST(SettingsRegistryTest, CreatesTheKeyAndStoresDwordsAndTerminatedStrings) {
  ScratchKey scratch;
  EXPECT_EQ(RawKey(scratch).status, ERROR_FILE_NOT_FOUND);
  auto key = scratch.open();
  RawKey raw(scratch);
  ASSERT_EQ(raw.status, ERROR_SUCCESS);
  key->writeText("Server1", "abc");
  key->writeText("LogFile", "");
  key->writeNumber("Frequency", 60);
  EXPECT_EQ(raw.shape("Server1"), std::make_pair(DWORD(REG_SZ), DWORD(4)));
  EXPECT_EQ(raw.shape("LogFile"), std::make_pair(DWORD(REG_SZ), DWORD(1)));
  EXPECT_EQ(raw.shape("Frequency"), std::make_pair(DWORD(REG_DWORD), DWORD(4)));
}

TEST(SettingsRegistryTest, OddValuesAreReadOnlyAsFarAsTheyGo) {
  ScratchKey scratch;
  auto key = scratch.open();
  RawKey raw(scratch);
  raw.set("NoNul", REG_SZ, "abcdefgh");
  raw.set("FourNoNul", REG_SZ, "wxyz");
  raw.set("FourBinary", REG_BINARY, "wxyz");
  raw.set("TwoBytes", REG_BINARY, "\x01\x02");
  raw.set("Nothing", REG_BINARY, "");
  raw.set("Expandable", REG_EXPAND_SZ, std::string("%TEMP%", 7));
  EXPECT_EQ(key->readText("NoNul", "default"), "abcdefgh");
  EXPECT_EQ(key->readNumber("NoNul", -1), -1);
  EXPECT_EQ(key->readText("FourNoNul", "default"), "wxyz");
  // Whether the ANSI call adds a NUL to such a string differs between registry
  // implementations; binary data comes back untouched, exactly 4 bytes.
  EXPECT_EQ(key->readNumber("FourBinary", -1), 0x7a797877);
  EXPECT_EQ(key->readNumber("TwoBytes", -1), -1);
  EXPECT_EQ(key->readText("TwoBytes", "default"), "\x01\x02");
  EXPECT_EQ(key->readText("Nothing", "default"), "");
  EXPECT_EQ(key->readText("Expandable", "default"), "%TEMP%");
}

TEST(SettingsRegistryTest, FailuresCarryTheWindowsErrorText) {
  ScratchKey scratch;
  auto key = scratch.open();
  // Another program removes the key while it is open.
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, RawKey(scratch).path.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(key->readNumber("Frequency", 60), 60);
  EXPECT_THAT([&] { key->writeNumber("Frequency", 1); },
              ThrowsMessage<std::runtime_error>(windowsErrorText(ERROR_KEY_DELETED)));
  // A key name the registry refuses.
  EXPECT_THAT([] { SettingsKey refused(std::string(300, 'k')); },
              ThrowsMessage<std::runtime_error>(HasSubstr(" (0x")));
}

}  // namespace
}  // namespace veltraw
