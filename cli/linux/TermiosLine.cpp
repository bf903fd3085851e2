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

// The path of the node `handle` has open, from /dev: "/dev/serial/by-id/usb-…"
// opened is "/dev/ttyUSB0". The name given where the system tells none.
std::string NodePath(int handle, const std::string& name) {
  char resolved[PATH_MAX];
  ssize_t length = readlink(("/proc/self/fd/" + std::to_string(handle)).c_str(), resolved, sizeof resolved - 1);
  return length > 0 ? std::string(resolved, static_cast<std::size_t>(length)) : name;
}

std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISREG(mode)) return "a file";
  return "not a character device";
}

// Why a character device is no serial port, or empty. The system files a
// port under the tty class, with a link to the hardware behind it; a tty with
// none is one of its own (a virtual console, the console, ptmx, ttyprintk).
// ptys are not filed at all, and pass.
std::string NotASerialPort(dev_t device) {
  std::string entry = SysfsDevicePath(device);
  char target[PATH_MAX];
  ssize_t length = readlink((entry + "/subsystem").c_str(), target, sizeof target - 1);
  if (length <= 0) return {};
  std::string subsystem(target, static_cast<std::size_t>(length));
  if (subsystem.substr(subsystem.rfind('/') + 1) != "tty") return "not a terminal";
  struct stat hardware {};
  if (lstat((entry + "/device").c_str(), &hardware) != 0) return "a terminal of the system's own, not a device";
  return {};
}

// What can be seen of the device before it is opened, so that a port another
// program has is not touched at all (an open raises DTR and RTS). False, and
// `reason` says why, when the port is not to be opened.
bool MayOpen(const struct stat& info, std::string& reason) {
  std::string notSerial = S_ISCHR(info.st_mode) ? NotASerialPort(info.st_rdev) : KindOf(info.st_mode);
  if (!notSerial.empty()) {
    reason = NotASerialPortReason(notSerial);
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
  opening.line = TermiosLine::Open(port, opening.reason, opening.note);
  return opening;
}

std::unique_ptr<TermiosLine> TermiosLine::Open(const std::string& path, std::string& reason, std::string& note) {
  // The name is followed once: the checks, the lock and the open all see the
  // node it led to then, whatever link or name changes meanwhile.
  UniqueFd node(::open(path.c_str(), O_PATH | O_CLOEXEC));
  struct stat info {};
  if (!node || fstat(node.get(), &info) != 0) {
    reason = OpenFailureReason(errno, path);
    return nullptr;
  }
  if (!MayOpen(info, reason)) return nullptr;
  UucpLock::Taking lock = UucpLock::Take(NodePath(node.get(), path));
  if (!lock.holderFile.empty()) {
    reason = lock.holder ? HeldReason(PortUser{lock.holder, ProcessName(lock.holder)}, "by its lock file " + lock.holderFile)
                         : LockFileReason(lock.held, lock.holderFile);
    return nullptr;
  }
  note = lock.unlocked;
  // Non-blocking: the open waits for no carrier, and every wait is this
  // line's own, bounded.
  UniqueFd fd(::open(("/proc/self/fd/" + std::to_string(node.get())).c_str(),
                     O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    reason = OpenFailureReason(errno, path);
    return nullptr;
  }
  struct stat opened {};
  if (fstat(fd.get(), &opened) != 0 || opened.st_rdev != info.st_rdev) {
    reason = "the port changed while it was opened; try again";
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
