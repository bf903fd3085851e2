// Opens of the pty's slave by other processes, seen through inotify: an open
// of the device node, by any process and through any link, queues an event
// before the open call returns. The device's own looks are noted as they are
// made and discounted, so what remains are the program's opens.
#pragma once

#include <string>

class SlaveOpens {
 public:
  SlaveOpens() = default;
  ~SlaveOpens();
  SlaveOpens(const SlaveOpens&) = delete;
  SlaveOpens& operator=(const SlaveOpens&) = delete;

  // Starts watching `path`; false (errno set) when inotify refuses.
  bool Watch(const std::string& path);
  void Stop();
  // Called after each open of the slave by the device itself.
  void NoteOwnOpen() { ++own_; }
  // Opens by other processes since the last call.
  long TakeOthers();

 private:
  int fd_ = -1;
  long own_ = 0;
};
