#include "cli/Platform.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace fwu::cli {

// A console redraws lines in place once it takes virtual terminal sequences;
// a pipe or a file is no terminal.
bool PrepareLiveOutput() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
  return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING | ENABLE_PROCESSED_OUTPUT) != 0;
}

// A line wraps at the buffer's width; the rows are those of the window.
std::optional<TerminalSize> OutputTerminalSize() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return std::nullopt;
  int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
  if (info.dwSize.X <= 0 || rows <= 0) return std::nullopt;
  return TerminalSize{info.dwSize.X, rows};
}

// Through the C streams, so that text goes out as the rest of the program's
// does.
std::optional<std::string> WriteStandard(StandardStream stream, std::string_view text) {
  std::FILE* out = stream == StandardStream::kOutput ? stdout : stderr;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0) return std::nullopt;
  int error = errno != 0 ? errno : EIO;
  std::clearerr(out);
  return std::generic_category().message(error);
}

}  // namespace fwu::cli
