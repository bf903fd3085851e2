// A model of a real serial adapter's output count, preloaded (LD_PRELOAD)
// into a program that drives a pseudo-terminal.
//
// A pty takes a write at once and reports nothing pending the moment the
// write returns. A USB adapter holds each write until its USB transfer
// completes, a UART until the wire has taken it. Here every write on a pty's
// slave is taken no sooner than FWU_MODEL_LATENCY_US after it was made, and
// no sooner than the wire at FWU_MODEL_BYTES_PER_SECOND (default 5760, 57600
// baud 8N1) allows after the byte before:
//   taken(byte) = max(written + latency, taken(byte before) + 1 / rate)
// and TIOCOUTQ on that descriptor reports the pty's own count plus the bytes
// not taken yet. The bytes themselves reach the pty at once; a program that
// keeps to the protocol writes the next one only once the count is 0, so the
// device receives them at the model's pace.
//
// What it cannot show: a driver's own cost per call, USB frame timing, the
// jitter of a real transfer, or the count's behaviour while a transfer is
// split. It models the count that a program waits on, nothing more.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace {

// Linux's device numbers of pty slaves.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;
constexpr int kDescriptors = 4096;

struct Model {
  std::int64_t latencyNs;
  std::int64_t byteNs;
};

Model ReadModel() {
  const char* latency = std::getenv("FWU_MODEL_LATENCY_US");
  const char* rate = std::getenv("FWU_MODEL_BYTES_PER_SECOND");
  long long bytesPerSecond = rate ? std::atoll(rate) : 5760;
  return {(latency ? std::atoll(latency) : 0) * 1000, 1'000'000'000LL / (bytesPerSecond > 0 ? bytesPerSecond : 5760)};
}

const Model& TheModel() {
  static const Model model = ReadModel();
  return model;
}

std::int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

enum class Kind : std::uint8_t { kUnknown, kLine, kOther };

// One descriptor: whether it is a pty slave, and when each byte written and
// not yet counted as taken will be.
struct Line {
  std::mutex lock;
  Kind kind = Kind::kUnknown;
  std::deque<std::int64_t> takenAt;
  std::int64_t lastTaken = 0;
};

Line lines[kDescriptors];

// The descriptor's model, locked; none when it is not a pty slave.
Line* LineOf(int fd, std::unique_lock<std::mutex>& held) {
  if (fd < 0 || fd >= kDescriptors) return nullptr;
  Line& line = lines[fd];
  held = std::unique_lock(line.lock);
  if (line.kind == Kind::kUnknown) {
    struct stat status {};
    bool slave = fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) >= kFirstPtySlaveMajor &&
                 major(status.st_rdev) <= kLastPtySlaveMajor;
    line.kind = slave ? Kind::kLine : Kind::kOther;
  }
  return line.kind == Kind::kLine ? &line : nullptr;
}

template <class Function>
Function* Next(const char* name) {
  return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t count) {
  static auto* next = Next<ssize_t(int, const void*, size_t)>("write");
  std::unique_lock<std::mutex> held;
  Line* line = LineOf(fd, held);
  ssize_t written = next(fd, bytes, count);
  if (!line || written <= 0) return written;
  const Model& model = TheModel();
  std::int64_t now = NowNs();
  for (ssize_t i = 0; i < written; ++i) {
    line->lastTaken = std::max(now + model.latencyNs, line->lastTaken + model.byteNs);
    line->takenAt.push_back(line->lastTaken);
  }
  return written;
}

int ioctl(int fd, unsigned long request, ...) noexcept {
  static auto* next = Next<int(int, unsigned long, ...)>("ioctl");
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  int result = next(fd, request, argument);
  if (request != TIOCOUTQ || result != 0) return result;
  std::unique_lock<std::mutex> held;
  Line* line = LineOf(fd, held);
  if (!line) return result;
  std::int64_t now = NowNs();
  while (!line->takenAt.empty() && line->takenAt.front() <= now) line->takenAt.pop_front();
  *static_cast<int*>(argument) += static_cast<int>(line->takenAt.size());
  return result;
}

int close(int fd) {
  static auto* next = Next<int(int)>("close");
  if (fd >= 0 && fd < kDescriptors) {
    std::lock_guard held(lines[fd].lock);
    lines[fd].kind = Kind::kUnknown;
    lines[fd].takenAt.clear();
    lines[fd].lastTaken = 0;
  }
  return next(fd);
}

}  // extern "C"
