// The settings file on disk: where it lives, what a damaged one reads as, and
// that a failed write leaves it as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchFile.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::ScratchKey;
using ::testing::StartsWith;
using ::testing::ThrowsMessage;

void spit(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// A relative XDG_CONFIG_HOME is invalid and ignored.
TEST(SettingsFileStoreTest, LivesInTheNamedDirectoryOrTheUsersConfigDirectory) {
  ScratchKey scratch;
  const std::string dir = scratch.directory();
  SettingsKey(R"(Aa0/..\Zz9)", dir + "/a/b").writeNumber("Frequency", 60);
  EXPECT_NE(readFile(dir + "/a/b/Aa0%2F..%5CZz9.conf").find("\nFrequency = number 60\n"),
            std::string::npos);

  const bool hadHome = getenv("HOME"), hadConfig = getenv("XDG_CONFIG_HOME");
  const std::string home = hadHome ? getenv("HOME") : "";
  const std::string config = hadConfig ? getenv("XDG_CONFIG_HOME") : "";
  setenv("HOME", dir.c_str(), 1);
  for (const std::string& value : {dir + "/config", std::string("relative")}) {
    setenv("XDG_CONFIG_HOME", value.c_str(), 1);
    SettingsKey("Veltraw").writeText("Server1", value);
  }
  hadHome ? setenv("HOME", home.c_str(), 1) : unsetenv("HOME");
  hadConfig ? setenv("XDG_CONFIG_HOME", config.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsKey("Veltraw", dir + "/config/veltraw").readText("Server1", ""),
            dir + "/config");
  EXPECT_EQ(SettingsKey("Veltraw", dir + "/.config/veltraw").readText("Server1", ""), "relative");

  // A directory that cannot be made is the failure to open the key.
  spit(dir + "/plain", "");
  EXPECT_THROW(SettingsKey("Veltraw", dir + "/plain/sub"), std::runtime_error);
}

// Bytes no editor would write are kept as they are; a file larger than any
// settings file reads up to its last whole line within the limit and is not
// rewritten.
TEST(SettingsFileStoreTest, DamagedOrHugeFileLosesNoReadableValue) {
  ScratchKey scratch;
  const std::string path = scratch.directory() + "/Veltraw.conf";
  std::string garbage(4096, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7919 % 251);
  spit(path, garbage + "\nServers = number 3\n" + std::string(2 << 20, '"') + "\n");
  auto key = scratch.open();
  EXPECT_EQ(key->readNumber("Servers", -1), 3);
  key->writeText("Server1", "new");
  EXPECT_EQ(key->readText("Server1", "none"), "new");
  EXPECT_EQ(readFile(path).compare(0, garbage.size(), garbage), 0);

  const std::string huge = "Servers = number 4\n" + std::string(17 << 20, '#') + "\n";
  spit(path, huge + "Server1 = text \"beyond\"\n");
  EXPECT_EQ(key->readNumber("Servers", -1), 4);
  EXPECT_EQ(key->readText("Server1", "none"), "none");
  EXPECT_THROW(key->writeNumber("Servers", 5), std::runtime_error);
  EXPECT_EQ(fs::file_size(path), huge.size() + 24);
}

// A full disk, as the file size limit makes it look; and a file that cannot
// be read, which is not rewritten from nothing.
TEST(SettingsFileStoreTest, FailedWriteLeavesTheFileAsItWas) {
  ScratchKey scratch;
  const std::string path = scratch.directory() + "/Veltraw.conf";
  auto key = scratch.open();
  key->writeText("Server1", "kept");
  const std::string before = readFile(path);
  struct rlimit saved, small;
  getrlimit(RLIMIT_FSIZE, &saved);
  small = saved;
  small.rlim_cur = before.size() + 10;
  auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(key->writeText("Big", std::string(1000, 'b')), std::runtime_error);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(readFile(path), before);
  EXPECT_FALSE(fs::exists(path + ".tmp"));

  const std::string other = scratch.directory() + "/Other.conf";
  fs::create_directory(other);
  SettingsKey otherKey("Other", scratch.directory());
  EXPECT_EQ(otherKey.readNumber("Servers", 4), 4);
  EXPECT_THAT(
      [&] { otherKey.writeNumber("Servers", 1); },
      ThrowsMessage<std::runtime_error>(StartsWith("Cannot read settings file " + other + ": ")));
}

TEST(SettingsFileStoreTest, WritersInTwoProcessesLoseNothing) {
  ScratchKey scratch;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  const std::string who = child == 0 ? "Child" : "Parent";
  auto write = [&] {
    SettingsKey key("Veltraw", scratch.directory());
    for (int v = 0; v < 40; ++v) key.writeNumber(who + std::to_string(v), v);
  };
  EXPECT_NO_THROW(write());
  if (child == 0) _exit(HasFailure() ? 1 : 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  auto key = scratch.open();
  for (int v = 0; v < 40; ++v) {
    EXPECT_EQ(key->readNumber("Child" + std::to_string(v), -1), v);
    EXPECT_EQ(key->readNumber("Parent" + std::to_string(v), -1), v);
  }
}

}  // namespace
}  // namespace veltraw
