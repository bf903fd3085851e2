#include "SlaveOpens.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <utility>

SlaveOpens::~SlaveOpens() { Stop(); }

bool SlaveOpens::Watch(const std::string& path) {
  Stop();
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return false;
  if (inotify_add_watch(fd_, path.c_str(), IN_OPEN) >= 0) return true;
  Stop();
  return false;
}

void SlaveOpens::Stop() {
  if (fd_ >= 0) close(std::exchange(fd_, -1));
  own_ = 0;
}

long SlaveOpens::TakeOthers() {
  long others = 0;
  alignas(inotify_event) char buffer[4096];
  ssize_t n;
  while (fd_ >= 0 && (n = read(fd_, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < n;) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      at += static_cast<ssize_t>(sizeof event + event.len);
      if (!(event.mask & IN_OPEN)) continue;  // the queue overflowed, or the watch ended
      if (own_ > 0)
        --own_;
      else
        ++others;
    }
  }
  return others;
}
