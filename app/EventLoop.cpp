#include "app/EventLoop.h"

#include "app/EventDispatcher.h"
#include "runtime/window/Window.h"

void RunEventLoop() {
  while (DispatchEvent(NextEvent(kIdleWaitMs))) {
  }
}
