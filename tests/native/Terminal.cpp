#include "tests/native/Terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

Terminal::Terminal() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK)) {
  if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) path_ = ptsname(master_);
  // Held open so that what was drawn stays readable after the program ends.
  slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
}

Terminal::Terminal(int columns, int rows) : Terminal() {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  ioctl(master_, TIOCSWINSZ, &size);
}

Terminal::~Terminal() {
  close(slave_);
  close(master_);
}

std::string Terminal::Drawn() const {
  std::string drawn;
  char chunk[4096];
  for (ssize_t n; (n = read(master_, chunk, sizeof chunk)) > 0;) drawn.append(chunk, static_cast<std::size_t>(n));
  return drawn;
}
