// The settings file on disk: where it lives, what a damaged one reads as, and
// that a failed write leaves it as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "LIB/Registry/SettingsKey.h"
#include "support/ScratchKey.h"

namespace veltraw {
namespace {

namespace fs = std::filesystem;
using test::ScratchKey;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void spit(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = getenv(name)) {
      m_old = old;
      m_had = true;
    }
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (m_had) {
      setenv(m_name, m_old.c_str(), 1);
    } else {
      unsetenv(m_name);
    }
  }

 private:
  const char* m_name;
  std::string m_old;
  bool m_had = false;
};

TEST(SettingsFileStoreTest, LivesInTheNamedDirectoryOrTheUsersConfigDirectory) {
  ScratchKey scratch;
  const std::string nested = scratch.directory() + "/a/b";
  SettingsKey(R"(Odd/..\name)", nested).writeNumber("Frequency", 60);
  EXPECT_NE(slurp(nested + "/Odd%2F..%5Cname.conf").find("\nFrequency = number 60\n"),
            std::string::npos);

  const std::string config = scratch.directory() + "/config";
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
    SettingsKey("Veltraw").writeText("Server1", "x");
  }
  EXPECT_TRUE(fs::exists(config + "/veltraw/Veltraw.conf"));
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
    ScopedEnv home("HOME", scratch.directory().c_str());
    SettingsKey("Veltraw").writeText("Server1", "y");
  }
  EXPECT_TRUE(fs::exists(scratch.directory() + "/.config/veltraw/Veltraw.conf"));

  // A directory that cannot be made is the failure to open the key.
  spit(scratch.directory() + "/plain", "");
  EXPECT_THROW(SettingsKey("Veltraw", scratch.directory() + "/plain/sub"), std::runtime_error);
}

TEST(SettingsFileStoreTest, DamagedFileGivesDefaultsAndLosesNoReadableValue) {
  ScratchKey scratch;
  const std::string path = scratch.directory() + "/Veltraw.conf";
  const std::string whole =
      "Servers = number 2\nServer1 = text \"one\"\nServer2 = text \"two\"\nFrequency = number 60\n";
  // Cut anywhere, as by a crash of some other editor.
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    spit(path, whole.substr(0, cut));
    auto key = scratch.open();
    // A line reads as its value once the value is whole, line break or not.
    const std::string kept = whole.substr(0, cut);
    auto has = [&](const char* piece) { return kept.find(piece) != std::string::npos; };
    EXPECT_EQ(key->readNumber("Servers", -1), has("number 2") ? 2 : -1);
    EXPECT_EQ(key->readText("Server2", "none"), has("\"two\"") ? "two" : "none");
    key->writeNumber("Added", 1);
    EXPECT_EQ(key->readText("Server1", "none"), has("\"one\"") ? "one" : "none");
    EXPECT_EQ(slurp(path).compare(0, kept.size(), kept), 0) << cut;
  }

  std::string garbage(4096, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7919 % 251);
  spit(path, garbage + "\nServers = number 3\n" + std::string(2 << 20, '"') + "\n");
  auto key = scratch.open();
  EXPECT_EQ(key->readNumber("Servers", -1), 3);
  EXPECT_EQ(key->readText("Server1", "none"), "none");
  key->writeText("Server1", "new");
  EXPECT_EQ(key->readNumber("Servers", -1), 3);
  EXPECT_EQ(slurp(path).compare(0, garbage.size(), garbage), 0);
}

TEST(SettingsFileStoreTest, FailedWriteLeavesTheFileAsItWas) {
  ScratchKey scratch;
  const std::string path = scratch.directory() + "/Veltraw.conf";
  auto key = scratch.open();
  key->writeText("Server1", "kept");
  const std::string before = slurp(path);

  // A full disk, as the file size limit makes it look.
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = before.size() + 10;
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(key->writeText("Big", std::string(1000, 'b')), std::runtime_error);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(slurp(path), before);
  EXPECT_FALSE(fs::exists(path + ".tmp"));

  // A file that cannot be read is not rewritten from nothing.
  const std::string other = scratch.directory() + "/Other.conf";
  fs::create_directory(other);
  auto otherKey = std::make_unique<SettingsKey>("Other", scratch.directory());
  EXPECT_EQ(otherKey->readNumber("Servers", 4), 4);
  try {
    otherKey->writeNumber("Servers", 1);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot read settings file " + other + ": "),
              std::string::npos)
        << e.what();
  }

  // Nor is one too large to be the program's.
  spit(path, "Servers = number 3\n" + std::string(17 << 20, '#') + "\n");
  EXPECT_EQ(key->readNumber("Servers", -1), 3);
  EXPECT_THROW(key->writeNumber("Servers", 4), std::runtime_error);
  EXPECT_EQ(fs::file_size(path), 19u + (17u << 20) + 1u);
}

TEST(SettingsFileStoreTest, WritersInTwoProcessesLoseNothing) {
  ScratchKey scratch;
  constexpr int kValues = 40;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  const char* who = child == 0 ? "Child" : "Parent";
  try {
    SettingsKey key("Veltraw", scratch.directory());
    for (int v = 0; v < kValues; ++v) key.writeNumber(who + std::to_string(v), v);
  } catch (const std::exception& e) {
    if (child == 0) _exit(1);
    FAIL() << e.what();
  }
  if (child == 0) _exit(0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  auto key = scratch.open();
  for (int v = 0; v < kValues; ++v) {
    EXPECT_EQ(key->readNumber("Child" + std::to_string(v), -1), v);
    EXPECT_EQ(key->readNumber("Parent" + std::to_string(v), -1), v);
  }
}

}  // namespace
}  // namespace veltraw
