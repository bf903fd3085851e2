// Signals. The handlers only store to atomics and arm a timer (both safe in
// a signal handler). Once interrupted, the timer signals the main thread every
// few milliseconds until the program ends: the main thread alone writes the
// output, and a write blocked on a stopped terminal or a pipe nobody reads
// then returns (EINTR), so that it can give up and the program can end.
// Handlers are installed without SA_RESTART for the same reason.
#include "cli/Platform.h"
#include "cli/linux/Interrupts.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace fwu::cli {
namespace {

constexpr std::int64_t kNanosecondsPerMillisecond = 1'000'000;
// How long the output may take to get its last words out after an interrupt.
constexpr std::int64_t kLastWordsTime = 500 * kNanosecondsPerMillisecond;
// How often the main thread is woken once interrupted.
constexpr long kWakeInterval = 20 * kNanosecondsPerMillisecond;

// Set once, before the handlers are installed.
std::atomic<bool>* g_interrupted = nullptr;
timer_t g_wakeMain{};
// CLOCK_MONOTONIC nanoseconds of the first interrupt; 0 before it.
std::atomic<std::int64_t> g_interruptedAt{0};

std::int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

void OnInterrupt(int) {
  int savedErrno = errno;
  std::int64_t never = 0;
  g_interruptedAt.compare_exchange_strong(never, MonotonicNanoseconds());
  g_interrupted->store(true);
  const itimerspec wake{{0, kWakeInterval}, {0, 1}};
  timer_settime(g_wakeMain, 0, &wake, nullptr);
  errno = savedErrno;
}

// Its only work is to cut short the system call the main thread is in.
void OnWake(int) {}

void Handle(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

bool LastWordsOverdue() {
  std::int64_t at = g_interruptedAt.load();
  return at != 0 && MonotonicNanoseconds() - at >= kLastWordsTime;
}

void CatchInterrupts(std::atomic<bool>& interrupted) {
  static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<std::int64_t>::is_always_lock_free);
  g_interrupted = &interrupted;
  sigevent toMainThread{};
  toMainThread.sigev_notify = SIGEV_THREAD_ID;
  toMainThread.sigev_signo = SIGALRM;
  toMainThread._sigev_un._tid = gettid();  // glibc names no field for it
  timer_create(CLOCK_MONOTONIC, &toMainThread, &g_wakeMain);
  Handle(SIGALRM, OnWake);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) Handle(signal, OnInterrupt);
  // A reader that went away: the write fails with EPIPE instead. A file
  // grown to the size limit (ulimit -f): with EFBIG, which the records report.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

}  // namespace fwu::cli
