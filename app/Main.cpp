#include "app/EventLoop.h"
#include "app/WindowBuilder.h"
#include "runtime/Runtime.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RuntimeStartup();
  // The PNG decoder is registered here, before the banner is loaded.
  BuildUpdaterWindow(0, 0, 400, 200);
  // The port probe fills the port list here.
  RunEventLoop();
  RuntimeShutdown();
  return 0;
}
