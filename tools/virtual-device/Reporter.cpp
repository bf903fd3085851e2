#include "Reporter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

int OpenForAppend(const std::string& path) {
  if (path.empty()) return -1;
  return open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

// One write per call, so that a reader never sees half an event line.
void WriteAll(int fd, const void* data, std::size_t count) {
  auto* bytes = static_cast<const char*>(data);
  while (fd >= 0 && count > 0) {
    ssize_t n = write(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
}

}  // namespace

Reporter::Reporter(const std::string& logFile, const std::string& eventsFile, bool quiet)
    : log_(OpenForAppend(logFile)), events_(OpenForAppend(eventsFile)), quiet_(quiet) {
  ready_ = (logFile.empty() || log_ >= 0) && (eventsFile.empty() || events_ >= 0);
}

Reporter::~Reporter() {
  if (log_ >= 0) close(log_);
  if (events_ >= 0) close(events_);
}

void Reporter::Received(const std::uint8_t* bytes, std::size_t count) { WriteAll(log_, bytes, count); }

void Reporter::Event(const std::string& line) {
  std::string text = line + "\n";
  WriteAll(events_, text.data(), text.size());
}

void Reporter::Progress(const std::string& line) {
  if (quiet_) return;
  std::printf("virtual-device: %s\n", line.c_str());
  std::fflush(stdout);
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::string temporary = path + ".part";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  WriteAll(fd, text.data(), text.size());
  return close(fd) == 0 && rename(temporary.c_str(), path.c_str()) == 0;
}
