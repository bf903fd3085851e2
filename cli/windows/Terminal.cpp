#include "cli/Platform.h"

#include <windows.h>

namespace fwu::cli {

// A console redraws lines in place once it takes virtual terminal sequences;
// a pipe or a file is no terminal.
bool PrepareLiveOutput() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
  return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING | ENABLE_PROCESSED_OUTPUT) != 0;
}

}  // namespace fwu::cli
