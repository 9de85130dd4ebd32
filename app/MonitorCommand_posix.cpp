// The command line runs through the shell. The launching child forks the
// shell and exits at once, so the shell is adopted by init and no zombie is
// left behind; a close-on-exec pipe tells whether the shell could be started.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "app/MonitorCommand.h"

namespace veltraw {

namespace {

void reportAndExit(int pipeEnd) {
  const int error = errno;
  ssize_t written = write(pipeEnd, &error, sizeof error);
  (void)written;
  _exit(127);
}

}  // namespace

bool startCommandLine(const std::string& commandLine) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const char* line = commandLine.c_str();

  const pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here on: other threads may hold locks.
    close(report[0]);
    const pid_t shell = fork();
    if (shell < 0) reportAndExit(report[1]);
    if (shell > 0) _exit(0);
    setsid();
    execl("/bin/sh", "sh", "-c", line, static_cast<char*>(nullptr));
    reportAndExit(report[1]);
  }

  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // End of file without a word: the shell is running.
  int error = 0;
  ssize_t got;
  do {
    got = read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  return got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace veltraw
