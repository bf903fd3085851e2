#include "runtime/Runtime.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RuntimeStartup();
  RuntimeShutdown();
  return 0;
}
