#include "app/EventLoop.h"
#include "app/PortProbe.h"
#include "app/UploadGate.h"
#include "app/WindowBuilder.h"
#include "runtime/Runtime.h"
#include "runtime/image/Image.h"

#include <windows.h>

using namespace std::chrono_literals;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RuntimeStartup();
  PngDecoderRegister();
  BuildUpdaterWindow(0, 0, 400, 200);
  PortProbe();
  RunEventLoop();
  // A run still going stops before shut-down closes its file and port.
  UploadGateClose(3s);
  RuntimeShutdown();
  // The progress refresher never returns: end the process here, before
  // anything static is torn down under it.
  ExitProcess(0);
}
