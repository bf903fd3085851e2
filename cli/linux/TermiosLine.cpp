#include "cli/linux/TermiosLine.h"

#include "cli/Platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <thread>

namespace fwu::cli {
namespace {

bool Retry(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

std::int64_t QueueCount(int fd, unsigned long request) {
  int count = 0;
  if (ioctl(fd, request, &count) != 0) return -1;
  return count;
}

}  // namespace

LineOpening OpenLine(const std::string& port) { return {TermiosLine::Open(port), {}}; }

std::unique_ptr<TermiosLine> TermiosLine::Open(const std::string& path) {
  // Non-blocking: the open waits for no carrier, and every wait is this
  // line's own, bounded.
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return nullptr;
  // The lock first: a port another program holds is left as it is. The lock
  // keeps off a second fwupload (root passes TIOCEXCL); TIOCEXCL keeps off
  // programs that do not lock, and fails on anything but a tty.
  // A port already in exclusive use (root gets through that) is another's.
  int exclusive = 0;
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ioctl(fd.get(), TIOCGEXCL, &exclusive) != 0 || exclusive ||
      ioctl(fd.get(), TIOCEXCL) != 0)
    return nullptr;
  std::unique_ptr<TermiosLine> line(new TermiosLine(std::move(fd)));
  if (!line->SetUp()) return nullptr;
  return line;
}

bool TermiosLine::SetUp() {
  termios settings{};
  if (tcgetattr(fd_.get(), &settings) != 0) return false;
  cfmakeraw(&settings);
  settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  // With O_NONBLOCK, a read then gives EAGAIN when nothing is there and 0
  // only at a hang-up (VMIN 0 would give 0 for both).
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (cfsetispeed(&settings, B57600) != 0 || cfsetospeed(&settings, B57600) != 0) return false;
  if (tcsetattr(fd_.get(), TCSANOW, &settings) != 0) return false;
  // RTS off where the port has modem lines (a pty has none); DTR stays as
  // it is.
  int rts = TIOCM_RTS;
  ioctl(fd_.get(), TIOCMBIC, &rts);
  return true;
}

TermiosLine::~TermiosLine() {
  tcflush(fd_.get(), TCOFLUSH);
  // The port outlives this descriptor when another holds it too (a device
  // on a pty does): leave it open to others again.
  ioctl(fd_.get(), TIOCNXCL);
}

bool TermiosLine::WaitFor(short events, std::chrono::milliseconds wait) {
  pollfd entry{fd_.get(), events, 0};
  return poll(&entry, 1, static_cast<int>(wait.count())) > 0;
}

std::int64_t TermiosLine::Write(std::span<const std::uint8_t> bytes) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
    if (written >= 0) return written;
    if (!Retry(errno)) return -1;
    // The line's buffer is full: it holds a good while of bytes, so waiting
    // for a batch of room costs the device nothing and spares a wake-up for
    // every byte the device takes.
    if (attempt == 0) std::this_thread::sleep_for(kFullBufferWait);
  }
  return 0;
}

std::int64_t TermiosLine::OutputPending() { return QueueCount(fd_.get(), TIOCOUTQ); }

std::int64_t TermiosLine::InputPending() { return QueueCount(fd_.get(), FIONREAD); }

std::int64_t TermiosLine::Read(std::span<std::uint8_t> into) {
  auto deadline = std::chrono::steady_clock::now() + kReadWait;
  std::size_t got = 0;
  while (got < into.size()) {
    ssize_t count = ::read(fd_.get(), into.data() + got, into.size() - got);
    if (count == 0) return -1;  // the other end hung up
    if (count > 0) {
      got += static_cast<std::size_t>(count);
      continue;
    }
    if (!Retry(errno)) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitFor(POLLIN, left)) break;
  }
  return static_cast<std::int64_t>(got);
}

}  // namespace fwu::cli
