#include "cli/Platform.h"

#include <signal.h>

namespace fwu::cli {
namespace {

// Set once, before the handler is installed; the handler only stores to it
// (a lock-free atomic store is safe in a signal handler).
std::atomic<bool>* g_interrupted = nullptr;

void OnInterrupt(int) { g_interrupted->store(true); }

}  // namespace

void CatchInterrupts(std::atomic<bool>& interrupted) {
  static_assert(std::atomic<bool>::is_always_lock_free);
  g_interrupted = &interrupted;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace fwu::cli
