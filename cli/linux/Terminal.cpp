#include "cli/Platform.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace fwu::cli {

bool PrepareLiveOutput() { return isatty(STDOUT_FILENO) == 1; }

std::optional<TerminalSize> OutputTerminalSize() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return std::nullopt;
  return TerminalSize{size.ws_col, size.ws_row};
}

}  // namespace fwu::cli
