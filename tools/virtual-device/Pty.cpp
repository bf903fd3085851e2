#include "Pty.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

namespace {

unsigned long BaudOf(speed_t speed) {
  static const std::pair<speed_t, unsigned long> table[] = {
      {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},         {B150, 150},
      {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},       {B1800, 1800},
      {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},     {B38400, 38400},
      {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800},   {B500000, 500000},
      {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000}, {B1152000, 1152000},
      {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
      {B3500000, 3500000}, {B4000000, 4000000}};
  for (auto [code, baud] : table)
    if (code == speed) return baud;
  return 0;
}

int DataBitsOf(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

char ParityOf(tcflag_t cflag) {
  if (!(cflag & PARENB)) return 'N';
  if (cflag & CMSPAR) return cflag & PARODD ? 'M' : 'S';
  return cflag & PARODD ? 'O' : 'E';
}

std::optional<std::size_t> Queued(int fd) {
  int count = 0;
  if (fd < 0 || ioctl(fd, FIONREAD, &count) != 0 || count < 0) return std::nullopt;
  return static_cast<std::size_t>(count);
}

}  // namespace

std::string LineSettings::Format() const {
  return std::to_string(baud) + " " + std::to_string(dataBits) + " " + parity + " " + std::to_string(stopBits);
}

std::string LineSettings::FormatFlow() const {
  return std::string("rtscts ") + (rtsCts ? "1" : "0") + " ixon " + (xonOut ? "1" : "0") + " ixoff " +
         (xonIn ? "1" : "0");
}

bool Pty::Open() {
  char name[PATH_MAX] = {};
  termios raw{};
  cfmakeraw(&raw);
  cfsetspeed(&raw, B50);  // a speed no program asks for, so its first setting shows
  int slave = -1;
  if (openpty(&master_, &slave, name, &raw, nullptr) != 0) {
    master_ = -1;
    return false;
  }
  close(slave);
  slavePath_ = name;
  opens_.Watch(slavePath_);
  return true;
}

void Pty::Close() {
  if (master_ >= 0) close(std::exchange(master_, -1));
  opens_.Stop();
}

int Pty::OpenSlave() const {
  if (master_ < 0) return -1;
  int slave = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave >= 0) opens_.NoteOwnOpen();
  return slave;
}

LineSettings Pty::Settings() const {
  termios t{};
  LineSettings s;
  if (tcgetattr(master_, &t) != 0) return s;
  s.baud = BaudOf(cfgetospeed(&t));
  s.dataBits = DataBitsOf(t.c_cflag);
  s.parity = ParityOf(t.c_cflag);
  s.stopBits = t.c_cflag & CSTOPB ? 2 : 1;
  s.rtsCts = t.c_cflag & CRTSCTS;
  s.xonOut = t.c_iflag & IXON;
  s.xonIn = t.c_iflag & IXOFF;
  return s;
}

std::optional<std::size_t> Pty::UnreadByProgram() const {
  int slave = OpenSlave();
  auto unread = Queued(slave);
  if (slave >= 0) close(slave);
  return unread;
}

std::size_t Pty::UnreadByDevice() const { return Queued(master_).value_or(0); }

bool Pty::Write(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t n = write(master_, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool Pty::Preload(const std::uint8_t* bytes, std::size_t count) {
  int slave = OpenSlave();
  bool written = Write(bytes, count);
  if (slave >= 0) close(slave);
  return written;
}
