// A model of a real serial adapter's output queue, preloaded (LD_PRELOAD)
// into a program that drives a pseudo-terminal.
//
// A pty takes a write at once and reports nothing pending the moment the
// write returns. A USB adapter's driver queues what is written (up to its
// buffer, FWU_MODEL_CAPACITY bytes, default 4096), hands it to the adapter in
// transfers that take FWU_MODEL_LATENCY_US each, and the adapter sends it at
// the wire's rate, FWU_MODEL_BYTES_PER_SECOND (default 5760, 57600 baud
// 8N1); a UART's driver is the same with no transfer time. Here a write on a
// pty's slave goes into the model's queue, and each byte leaves it, for the
// pty, no sooner than the latency after its write and no sooner than a byte
// time after the byte before:
//   leaves(byte) = max(written + latency, leaves(byte before) + 1 / rate)
// A full queue takes no more (EAGAIN, or a short write). TIOCOUTQ reports the
// bytes still queued; tcflush(TCOFLUSH) throws them away, and close sends
// them at once. Bytes are
// handed to the pty on the program's next call on that descriptor after they
// leave (a program that keeps to the protocol polls at least every
// millisecond), so the device at the other end receives them at the wire's
// pace, and nothing that was thrown away.
//
// What it cannot show: a driver's own cost per call, USB frame timing, the
// jitter of a real transfer, or the count's behaviour while a transfer is
// split.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <vector>

namespace {

// Linux's device numbers of pty slaves.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;
constexpr int kDescriptors = 4096;

struct Model {
  std::int64_t latencyNs;
  std::int64_t byteNs;
  std::size_t capacity;
};

long long Setting(const char* name, long long otherwise) {
  const char* value = std::getenv(name);
  long long number = value ? std::atoll(value) : otherwise;
  return number > 0 ? number : otherwise;
}

const Model& TheModel() {
  static const Model model{Setting("FWU_MODEL_LATENCY_US", 0) * 1000,
                           1'000'000'000LL / Setting("FWU_MODEL_BYTES_PER_SECOND", 5760),
                           static_cast<std::size_t>(Setting("FWU_MODEL_CAPACITY", 4096))};
  return model;
}

std::int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

template <class Function>
Function* Next(const char* name) {
  return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

ssize_t RealWrite(int fd, const void* bytes, size_t count) {
  static auto* next = Next<ssize_t(int, const void*, size_t)>("write");
  return next(fd, bytes, count);
}

enum class Kind : std::uint8_t { kUnknown, kLine, kOther };

struct Queued {
  std::uint8_t byte;
  std::int64_t leaves;
};

// One descriptor: whether it is a pty slave, and the bytes its driver holds.
struct Line {
  std::mutex lock;
  Kind kind = Kind::kUnknown;
  std::deque<Queued> queue;
  std::int64_t lastLeaves = 0;

  // Hands the pty every byte whose time has come.
  void Deliver(int fd) {
    std::int64_t now = NowNs();
    std::vector<std::uint8_t> due;
    for (const Queued& queued : queue) {
      if (queued.leaves > now) break;
      due.push_back(queued.byte);
    }
    if (due.empty()) return;
    ssize_t written = RealWrite(fd, due.data(), due.size());
    if (written > 0) queue.erase(queue.begin(), queue.begin() + written);
  }
};

Line lines[kDescriptors];

// The descriptor's model, locked, its due bytes delivered; none when it is
// not a pty slave.
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
  if (line.kind != Kind::kLine) return nullptr;
  line.Deliver(fd);
  return &line;
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t count) {
  std::unique_lock<std::mutex> held;
  Line* line = LineOf(fd, held);
  if (!line) return RealWrite(fd, bytes, count);
  const Model& model = TheModel();
  std::size_t taken = std::min(count, model.capacity - std::min(model.capacity, line->queue.size()));
  if (count > 0 && taken == 0) {
    errno = EAGAIN;
    return -1;
  }
  std::int64_t now = NowNs();
  for (std::size_t i = 0; i < taken; ++i) {
    line->lastLeaves = std::max(now + model.latencyNs, line->lastLeaves + model.byteNs);
    line->queue.push_back({static_cast<const std::uint8_t*>(bytes)[i], line->lastLeaves});
  }
  line->Deliver(fd);
  return static_cast<ssize_t>(taken);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
  static auto* next = Next<int(int, unsigned long, ...)>("ioctl");
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  std::unique_lock<std::mutex> held;
  Line* line = LineOf(fd, held);
  int result = next(fd, request, argument);
  if (!line || result != 0) return result;
  if (request == TIOCOUTQ) *static_cast<int*>(argument) += static_cast<int>(line->queue.size());
  return result;
}

// The C library calls its own ioctl for this, which the one above does not see.
int tcflush(int fd, int queue) {
  static auto* next = Next<int(int, int)>("tcflush");
  std::unique_lock<std::mutex> held;
  Line* line = LineOf(fd, held);
  if (line && (queue == TCOFLUSH || queue == TCIOFLUSH)) line->queue.clear();
  return next(fd, queue);
}

// A driver sends what it still holds before the port closes (for as long as
// the port's closing wait allows): here all of it at once.
int close(int fd) {
  static auto* next = Next<int(int)>("close");
  if (fd >= 0 && fd < kDescriptors) {
    std::lock_guard held(lines[fd].lock);
    Line& line = lines[fd];
    for (Queued& queued : line.queue) queued.leaves = 0;
    if (line.kind == Kind::kLine) line.Deliver(fd);
    line.kind = Kind::kUnknown;
    line.queue.clear();
    line.lastLeaves = 0;
  }
  return next(fd);
}

}  // extern "C"
