// A serial driver whose calls stop returning, modelled on a pseudo-terminal
// and preloaded (LD_PRELOAD) into the program under test, such as Wine
// running fwupload.exe.
//
// Some USB serial drivers never complete a write or a status call once the
// adapter has been pulled: the calling thread stays in the driver. Here the
// line is the pty whose slave FWU_HANG_LINE names (a path, followed through
// links), and once FWU_HANG_AFTER bytes have been written on it, every later
// write, read, ioctl, tcflush or tcdrain on it blocks for good (signals
// still reach the thread, so the process can be ended). The write that
// reaches the count takes only the bytes up to it, so the device at the
// other end receives exactly FWU_HANG_AFTER bytes.
//
// What it is not: a real driver's hang also holds the thread against
// cancellation, and may keep a terminated process from going until the
// driver lets go; Wine's and Linux's ending of a process do not wait for it.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <algorithm>

namespace {

template <class Function>
Function* Next(const char* name) {
  return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

// The bytes the line takes before it hangs; none when unset.
long long HangAfter() {
  static const long long after = [] {
    const char* value = std::getenv("FWU_HANG_AFTER");
    return value ? std::atoll(value) : -1;
  }();
  return after;
}

// True when `fd` is the line: a character device that is the one the path
// names now (the path exists only while the device runs).
bool IsTheLine(int fd) {
  static const char* const path = std::getenv("FWU_HANG_LINE");
  struct stat line{}, opened{};
  return path && HangAfter() >= 0 && fstat(fd, &opened) == 0 && S_ISCHR(opened.st_mode) && stat(path, &line) == 0 &&
         line.st_rdev == opened.st_rdev;
}

std::atomic<long long> written{0};

[[noreturn]] void Hang() {
  for (;;) pause();
}

// Hangs when `fd` is the line and the line has hung.
void HangIfHung(int fd) {
  if (IsTheLine(fd) && written.load() >= HangAfter()) Hang();
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t count) {
  static auto* next = Next<ssize_t(int, const void*, size_t)>("write");
  if (!IsTheLine(fd)) return next(fd, bytes, count);
  long long left = HangAfter() - written.load();
  if (left <= 0) Hang();
  ssize_t result = next(fd, bytes, std::min<size_t>(count, static_cast<size_t>(left)));
  if (result > 0) written += result;
  return result;
}

ssize_t read(int fd, void* into, size_t count) {
  static auto* next = Next<ssize_t(int, void*, size_t)>("read");
  HangIfHung(fd);
  return next(fd, into, count);
}

int ioctl(int fd, unsigned long request, ...) {
  static auto* next = Next<int(int, unsigned long, ...)>("ioctl");
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  HangIfHung(fd);
  return next(fd, request, argument);
}

// The C library calls its own ioctl for these, which the one above does not
// see.
int tcflush(int fd, int queue) {
  static auto* next = Next<int(int, int)>("tcflush");
  HangIfHung(fd);
  return next(fd, queue);
}

int tcdrain(int fd) {
  static auto* next = Next<int(int)>("tcdrain");
  HangIfHung(fd);
  return next(fd);
}

}  // extern "C"
