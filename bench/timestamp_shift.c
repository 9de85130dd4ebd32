/* Preloaded into a chronyd that libfaketime shifts: moves the kernel's
 * receive timestamps by the same amount, so that chronyd keeps taking them
 * (it drops those more than 1 s from its own clock and quietly mixes in
 * those within 1 s) and the served offset is exactly the shift.
 * The shift comes from TIMESTAMP_SHIFT_NS (signed nanoseconds).
 *   cc -shared -fPIC -O2 -o timestamp_shift.so timestamp_shift.c -ldl */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
/* after time.h, which it needs */
#include <linux/errqueue.h>

static int64_t shift_ns(void) {
  static int64_t shift;
  static int known;
  if (!known) {
    const char* text = getenv("TIMESTAMP_SHIFT_NS");
    shift = text ? strtoll(text, NULL, 10) : 0;
    known = 1;
  }
  return shift;
}

static void shift_timespec(struct timespec* ts) {
  if (ts->tv_sec == 0 && ts->tv_nsec == 0) return; /* absent */
  int64_t ns = (int64_t)ts->tv_sec * 1000000000 + ts->tv_nsec + shift_ns();
  ts->tv_sec = ns / 1000000000;
  ts->tv_nsec = ns % 1000000000;
  if (ts->tv_nsec < 0) {
    ts->tv_nsec += 1000000000;
    ts->tv_sec -= 1;
  }
}

static void shift_message(struct msghdr* msg) {
  for (struct cmsghdr* c = CMSG_FIRSTHDR(msg); c; c = CMSG_NXTHDR(msg, c)) {
    if (c->cmsg_level != SOL_SOCKET) continue;
    if (c->cmsg_type == SCM_TIMESTAMPNS) {
      shift_timespec((struct timespec*)CMSG_DATA(c));
    } else if (c->cmsg_type == SCM_TIMESTAMPING) {
      struct scm_timestamping* t = (struct scm_timestamping*)CMSG_DATA(c);
      shift_timespec(&t->ts[0]);
    } else if (c->cmsg_type == SCM_TIMESTAMP) {
      struct timeval* tv = (struct timeval*)CMSG_DATA(c);
      struct timespec ts = {tv->tv_sec, tv->tv_usec * 1000};
      shift_timespec(&ts);
      tv->tv_sec = ts.tv_sec;
      tv->tv_usec = ts.tv_nsec / 1000;
    }
  }
}

ssize_t recvmsg(int fd, struct msghdr* msg, int flags) {
  static ssize_t (*real)(int, struct msghdr*, int);
  if (!real) real = (ssize_t(*)(int, struct msghdr*, int))dlsym(RTLD_NEXT, "recvmsg");
  ssize_t n = real(fd, msg, flags);
  if (n >= 0) shift_message(msg);
  return n;
}

int recvmmsg(int fd, struct mmsghdr* msgs, unsigned int count, int flags, struct timespec* timeout) {
  static int (*real)(int, struct mmsghdr*, unsigned int, int, struct timespec*);
  if (!real) {
    real = (int (*)(int, struct mmsghdr*, unsigned int, int, struct timespec*))dlsym(RTLD_NEXT,
                                                                                    "recvmmsg");
  }
  int n = real(fd, msgs, count, flags, timeout);
  for (int i = 0; i < n; ++i) shift_message(&msgs[i].msg_hdr);
  return n;
}
