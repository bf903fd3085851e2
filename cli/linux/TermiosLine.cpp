#include "cli/linux/TermiosLine.h"

#include "cli/Platform.h"
#include "cli/linux/DeviceNumber.h"
#include "cli/linux/OpenReason.h"
#include "cli/linux/PortUsers.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace fwu::cli {
namespace {

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// The device a port's name leads to, links followed: "/dev/serial/by-id/usb-…"
// is "/dev/ttyUSB0". The name itself where that cannot be found.
std::string DevicePath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISREG(mode)) return "a file";
  return S_ISCHR(mode) ? "not a terminal" : "not a character device";
}

// False for a device the system files under another class than tty
// (/dev/null, a disk); ptys are not filed, and pass.
bool MayBeTerminal(dev_t device) {
  std::string link = SysfsDevicePath(device);
  char target[PATH_MAX];
  ssize_t length = readlink((link + "/subsystem").c_str(), target, sizeof target - 1);
  if (length <= 0) return true;
  std::string subsystem(target, static_cast<std::size_t>(length));
  return subsystem.substr(subsystem.rfind('/') + 1) == "tty";
}

// What can be seen of the device before it is opened, so that a port another
// program has is not touched at all (an open raises DTR and RTS). False, and
// `reason` says why, when the port is not to be opened.
bool MayOpen(const struct stat& info, std::string& reason) {
  if (!S_ISCHR(info.st_mode) || !MayBeTerminal(info.st_rdev)) {
    reason = NotASerialPortReason(KindOf(info.st_mode));
    return false;
  }
  if (auto user = FindOtherUser(info.st_rdev)) {
    reason = HeldReason(user);
    return false;
  }
  if (auto leader = FindSessionOf(info.st_rdev)) {
    reason = ControllingTerminalReason(*leader);
    return false;
  }
  return true;
}

// Takes the open port for this program alone, and turns RTS off (the open
// raised it). False, and `reason` says why, when another has it or it is not
// a serial port; the port is then left as it was.
bool Claim(int fd, std::string& reason) {
  int exclusive = 0;
  pid_t session = 0;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && WouldBlock(errno)) {
    reason = HeldReason(std::nullopt, "which has locked it");
  } else if (ioctl(fd, TIOCGEXCL, &exclusive) != 0) {
    reason = NotASerialPortReason("not a terminal");
  } else if (ioctl(fd, TIOCGSID, &session) == 0) {
    // Only this process's own controlling terminal (/dev/tty) tells its session.
    reason = ControllingTerminalReason({session, ProcessName(session)});
  } else if (exclusive || ioctl(fd, TIOCEXCL) != 0) {
    reason = HeldReason(std::nullopt, "which holds it for itself alone");
  } else {
    // Where the port has modem lines (a pty has none); DTR stays up.
    int rts = TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &rts);
    return true;
  }
  return false;
}

}  // namespace

LineOpening OpenLine(const std::string& port) {
  LineOpening opening;
  opening.line = TermiosLine::Open(port, opening.reason);
  return opening;
}

std::unique_ptr<TermiosLine> TermiosLine::Open(const std::string& path, std::string& reason) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    reason = OpenFailureReason(errno, path);
    return nullptr;
  }
  if (!MayOpen(info, reason)) return nullptr;
  UucpLock::Taking lock = UucpLock::Take(DevicePath(path));
  if (lock.holder) {
    reason = HeldReason(PortUser{lock.holder, ProcessName(lock.holder)}, "by its lock file " + lock.holderFile);
    return nullptr;
  }
  // Non-blocking: the open waits for no carrier, and every wait is this
  // line's own, bounded.
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    reason = OpenFailureReason(errno, path);
    return nullptr;
  }
  if (!Claim(fd.get(), reason)) return nullptr;
  std::unique_ptr<TermiosLine> line(new TermiosLine(std::move(lock.lock), std::move(fd)));
  if (!line->SetUp()) {
    reason = std::string("the port refused the line's settings: ") + std::strerror(errno);
    return nullptr;
  }
  return line;
}

bool TermiosLine::SetUp() {
  if (tcgetattr(fd_.get(), &saved_) != 0) return false;
  restore_ = true;
  termios settings = saved_;
  cfmakeraw(&settings);
  settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  // With O_NONBLOCK, a read then gives EAGAIN when nothing is there and 0
  // only at a hang-up (VMIN 0 would give 0 for both).
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  return cfsetispeed(&settings, B57600) == 0 && cfsetospeed(&settings, B57600) == 0 &&
         tcsetattr(fd_.get(), TCSANOW, &settings) == 0;
}

TermiosLine::~TermiosLine() {
  tcflush(fd_.get(), TCOFLUSH);
  if (restore_) tcsetattr(fd_.get(), TCSANOW, &saved_);
  // The port outlives this descriptor when another holds it too (a device
  // on a pty does): leave it open to others again.
  ioctl(fd_.get(), TIOCNXCL);
}

bool TermiosLine::WaitFor(short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd_.get(), events, 0};
    int ready = poll(&entry, 1, static_cast<int>(left.count()));
    if (ready >= 0 || errno != EINTR) return ready > 0;
  }
}

std::int64_t TermiosLine::Write(std::span<const std::uint8_t> bytes) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    ssize_t written;
    do written = ::write(fd_.get(), bytes.data(), bytes.size());
    while (written < 0 && errno == EINTR);
    if (written >= 0) return written;
    if (!WouldBlock(errno)) return Failed(errno);
    // The line's buffer is full: it holds a good while of bytes, so waiting
    // for a batch of room costs the device nothing and spares a wake-up for
    // every byte the device takes.
    if (attempt == 0) std::this_thread::sleep_for(kFullBufferWait);
  }
  return 0;
}

std::int64_t TermiosLine::Failed(int error) {
  if (failure_.empty()) failure_ = error ? std::string("the line failed: ") + std::strerror(error) : "the line hung up";
  return -1;
}

std::int64_t TermiosLine::QueueCount(unsigned long request) {
  int count = 0;
  while (ioctl(fd_.get(), request, &count) != 0)
    if (errno != EINTR) return Failed(errno);
  return count;
}

std::int64_t TermiosLine::OutputPending() { return QueueCount(TIOCOUTQ); }

std::int64_t TermiosLine::InputPending() { return QueueCount(FIONREAD); }

void TermiosLine::DiscardOutput() { tcflush(fd_.get(), TCOFLUSH); }

std::int64_t TermiosLine::Read(std::span<std::uint8_t> into) {
  auto deadline = std::chrono::steady_clock::now() + kReadWait;
  std::size_t got = 0;
  while (got < into.size()) {
    ssize_t count = ::read(fd_.get(), into.data() + got, into.size() - got);
    if (count == 0) return Failed(0);
    if (count > 0) {
      got += static_cast<std::size_t>(count);
    } else if (errno != EINTR) {
      if (!WouldBlock(errno)) return Failed(errno);
      if (!WaitFor(POLLIN, deadline)) break;
    }
  }
  return static_cast<std::int64_t>(got);
}

}  // namespace fwu::cli
