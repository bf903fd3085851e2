#include "app/EventLoop.h"

#include "app/EventDispatcher.h"
#include "runtime/window/Window.h"

namespace {

// How long one wait for messages may last. A wait ends early for any posted
// or sent message; its end only hands the dispatcher a 0. A wait without
// limit (GetMessageW) is not used: it serves sent messages inside itself and
// would sit on the events they queue until some message is posted.
constexpr int kIdleWaitMs = 250;

}  // namespace

void RunEventLoop() {
  while (DispatchEvent(NextEvent(kIdleWaitMs))) {
  }
}
