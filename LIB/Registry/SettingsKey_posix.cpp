// The settings key as a file in the user's configuration directory. Every read
// reads the file afresh, so all keys open on it agree; every write rewrites it
// whole under a lock and replaces it by rename, so no reader ever sees a
// half-written file and no writer loses another's value.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "LIB/Log/Failure.h"
#include "LIB/Registry/SettingsFile.h"
#include "LIB/Registry/SettingsKey.h"

namespace veltraw {
namespace {

// Far beyond any real settings file; a larger one is not the program's and is
// neither read whole nor rewritten.
constexpr size_t kMaxFileBytes = 16u << 20;

[[noreturn]] void throwFailure(int code, const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": " +
                           windowsErrorText(static_cast<uint32_t>(code)));
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return m_fd; }
  int release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
  }

 private:
  int m_fd;
};

// Key names may hold anything (the registry allows backslashes); the file name
// keeps letters, digits, '_', '-' and '.' and writes other bytes as %XX.
std::string fileNameFor(const std::string& name) {
  static const char digits[] = "0123456789ABCDEF";
  std::string fileName;
  for (char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
        c == '-' || c == '.') {
      fileName += c;
    } else {
      fileName += '%';
      fileName += digits[byte >> 4];
      fileName += digits[byte & 0xf];
    }
  }
  return fileName + ".conf";
}

std::string defaultDirectory() {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as its convention says.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/veltraw";
  std::string home;
  if (const char* variable = std::getenv("HOME")) home = variable;
  if (home.empty()) {
    // The reentrant form: keys are also opened on request threads.
    passwd entry;
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir) {
      home = found->pw_dir;
    }
  }
  if (home.empty()) throw std::runtime_error("No home directory to keep the settings in");
  return home + "/.config/veltraw";
}

void makeDirectories(const std::string& directory) {
  for (size_t end = 1; end <= directory.size(); ++end) {
    if (end < directory.size() && directory[end] != '/') continue;
    const std::string part = directory.substr(0, end);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      throwFailure(errno, "Cannot create settings directory", part);
    }
  }
  struct stat status;
  if (::stat(directory.c_str(), &status) != 0) {
    throwFailure(errno, "Cannot open settings directory", directory);
  }
  if (!S_ISDIR(status.st_mode)) throwFailure(ENOTDIR, "Cannot open settings directory", directory);
}

// 0 with the content (at most kMaxFileBytes + 1 bytes, so that an oversized
// file shows), or the errno value of the failure.
int readFile(const std::string& path, std::string& content) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return errno;
  content.clear();
  char buffer[65536];
  while (content.size() <= kMaxFileBytes) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return errno;
    if (count == 0) break;
    content.append(buffer, static_cast<size_t>(count));
  }
  return 0;
}

// An oversized file is read up to its last whole line within the limit.
void dropOversizedTail(std::string& content) {
  if (content.size() <= kMaxFileBytes) return;
  const size_t lastBreak = content.rfind('\n', kMaxFileBytes - 1);
  content.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
}

bool writeAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t count = ::write(fd, content.data() + done, content.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    done += static_cast<size_t>(count);
  }
  return true;
}

// Writes content to a temporary file beside path, makes it durable, and puts it
// in place with one rename; on failure path is left as it was.
void replaceFile(const std::string& directory, const std::string& path,
                 const std::string& content) {
  const std::string temporary = path + ".tmp";
  FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (file.get() < 0) throwFailure(errno, "Cannot write settings file", temporary);
  struct stat previous;
  if (::stat(path.c_str(), &previous) == 0) ::fchmod(file.get(), previous.st_mode & 07777);
  if (!writeAll(file.get(), content) || ::fsync(file.get()) != 0 || ::close(file.release()) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    throwFailure(code, "Cannot write settings file", temporary);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    throwFailure(code, "Cannot replace settings file", path);
  }
  // The rename itself must reach the disk too; some file systems cannot sync a
  // directory, and the data is in place either way.
  FileDescriptor folder(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
}

}  // namespace

struct SettingsKey::Handle {
  std::string name;
  std::string directory;
  std::string path;
  std::string lockPath;
};

SettingsKey::SettingsKey(const std::string& name, const std::string& directory) {
  auto handle = std::make_unique<Handle>();
  handle->name = name;
  handle->directory = directory.empty() ? defaultDirectory() : directory;
  makeDirectories(handle->directory);
  handle->path = handle->directory + "/" + fileNameFor(name);
  // A separate lock file: the settings file itself is replaced on every write,
  // so a lock on it would not be seen by a writer that opened the new one.
  handle->lockPath = handle->path + ".lock";
  m_handle = std::move(handle);
}

SettingsKey::~SettingsKey() = default;

bool SettingsKey::readStored(const std::string& valueName, std::string& bytes) const {
  std::string content;
  if (readFile(m_handle->path, content) != 0) return false;
  dropOversizedTail(content);
  return SettingsDocument::parse(content).find(valueName, bytes);
}

void SettingsKey::writeStored(const std::string& valueName, SettingsValueType type,
                              const std::string& bytes) {
  const Handle& key = *m_handle;
  // flock on a descriptor of our own excludes other threads of this process as
  // well as other processes.
  FileDescriptor lock(::open(key.lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) throwFailure(errno, "Cannot lock settings file", key.lockPath);
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) throwFailure(errno, "Cannot lock settings file", key.lockPath);
  }

  std::string content;
  const int readError = readFile(key.path, content);
  if (readError == ENOENT) {
    content = "# Settings of Veltraw, key " + quoteSettingsText(key.name) +
              ". One value per line:\n#   Name = number 60\n#   Name = text \"words\"\n";
  } else if (readError != 0) {
    // Rewriting what could not be read would lose every other value.
    throwFailure(readError, "Cannot read settings file", key.path);
  } else if (content.size() > kMaxFileBytes) {
    throw std::runtime_error("Settings file too large to rewrite: " + key.path);
  }

  SettingsDocument document = SettingsDocument::parse(content);
  document.set(valueName, type, bytes);
  replaceFile(key.directory, key.path, document.serialize());
}

}  // namespace veltraw
