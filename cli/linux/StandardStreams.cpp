#include "cli/Platform.h"
#include "cli/linux/Interrupts.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace fwu::cli {
namespace {

constexpr int kNonBlockingWaitMs = 20;

std::string SystemWords(int error) { return std::generic_category().message(error); }

}  // namespace

// open gives the lowest free descriptor: while one of 0 to 2 is free, the
// null device fills it.
void KeepStandardStreamsOpen() {
  int fd = -1;
  do fd = open("/dev/null", O_RDWR);
  while (fd >= 0 && fd <= STDERR_FILENO);
  if (fd > STDERR_FILENO) close(fd);
}

std::optional<std::string> WriteStandard(StandardStream stream, std::string_view text) {
  const int fd = stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  while (!text.empty()) {
    ssize_t written = write(fd, text.data(), text.size());
    if (written > 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    int error = written < 0 ? errno : EIO;
    if (error == EINTR || error == EAGAIN || error == EWOULDBLOCK) {
      if (LastWordsOverdue()) return "the reader took nothing since the interrupt";
      // A descriptor set non-blocking by whoever shares it: wait till it takes more.
      if (error != EINTR) {
        pollfd ready{fd, POLLOUT, 0};
        poll(&ready, 1, kNonBlockingWaitMs);
      }
      continue;
    }
    return SystemWords(error);
  }
  return std::nullopt;
}

}  // namespace fwu::cli
