#include "tests/native/OutputPipe.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace {

constexpr std::size_t kPipeSize = 4096;
// How long a read waits for the program's next bytes.
constexpr int kReadTimeoutMs = 20000;

bool Readable(int fd) {
  pollfd readable{fd, POLLIN, 0};
  return poll(&readable, 1, kReadTimeoutMs) == 1;
}

}  // namespace

OutputPipe::OutputPipe(bool stalled) {
  if (pipe2(ends_, O_CLOEXEC) != 0 || !stalled) return;
  fcntl(ends_[1], F_SETPIPE_SZ, kPipeSize);
  fcntl(ends_[1], F_SETFL, O_NONBLOCK);
  std::string filler(kPipeSize, '.');
  while (write(ends_[1], filler.data(), filler.size()) > 0) filler_ += filler;
  fcntl(ends_[1], F_SETFL, 0);
}

OutputPipe::~OutputPipe() {
  CloseWriteEnd();
  if (ends_[0] >= 0) close(ends_[0]);
}

bool OutputPipe::BecomeStandardOutput() const { return dup2(ends_[1], STDOUT_FILENO) >= 0; }

void OutputPipe::CloseWriteEnd() {
  if (ends_[1] >= 0) close(std::exchange(ends_[1], -1));
}

void OutputPipe::CloseReadEnd() { close(std::exchange(ends_[0], -1)); }

std::string OutputPipe::ReadToEnd() {
  std::string text;
  char chunk[4096];
  while (Readable(ends_[0])) {
    ssize_t n = read(ends_[0], chunk, sizeof chunk);
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  return text.substr(std::min(filler_.size(), text.size()));
}

std::string OutputPipe::ReadLine() {
  std::string line;
  char c = 0;
  while (Readable(ends_[0]) && read(ends_[0], &c, 1) == 1 && c != '\n') line += c;
  return line;
}
