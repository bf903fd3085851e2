#include "app/EventLoop.h"

#include "app/EventDispatcher.h"
#include "runtime/window/Window.h"

namespace {

// Wait for the next message without limit: the wait serves calls from other
// threads as they come, and ends as soon as one of them queues an event.
constexpr int kWaitWithoutLimit = -1;

}  // namespace

void RunEventLoop() {
  while (DispatchEvent(NextEvent(kWaitWithoutLimit))) {
  }
}
