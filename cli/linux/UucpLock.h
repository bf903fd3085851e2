// The UUCP lock file of a port (LCK..ttyUSB0 in /var/lock or /run/lock), as
// terminal programs such as minicom take and honour it: the locking
// process's id in ten ASCII digits and a newline.
//
// Return rules: Take gives a lock that removes its file when destroyed, or
// says which live process holds the port instead. Where no lock folder is
// writable, the lock it gives holds no file: nothing to honour it with, and
// the port's other guards still apply. A lock file whose process has died
// (a program killed with SIGKILL leaves one) is taken over.
#pragma once

#include <sys/types.h>

#include <string>

namespace fwu::cli {

class UucpLock {
 public:
  UucpLock() = default;
  ~UucpLock();
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;
  UucpLock(UucpLock&& other) noexcept;
  UucpLock& operator=(UucpLock&& other) noexcept;

  struct Taking;
  // Locks `device`, a path under /dev with no link in it ("/dev/ttyUSB0").
  static Taking Take(const std::string& device);

  // The lock file, or empty when none was written.
  const std::string& Path() const { return path_; }

 private:
  explicit UucpLock(std::string path) : path_(std::move(path)) {}
  void Release();

  std::string path_;
};

struct UucpLock::Taking {
  UucpLock lock;
  pid_t holder = 0;         // a live process that holds the port; 0 when none
  std::string holderFile;  // its lock file
};

}  // namespace fwu::cli
