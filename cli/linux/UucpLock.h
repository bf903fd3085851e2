// The UUCP lock file of a port (LCK..ttyUSB0 in /var/lock or /run/lock), as
// terminal programs such as minicom take and honour it: the locking
// process's id in ten ASCII digits and a newline.
//
// The lock folders are writable by every user, so what is found there is
// anyone's input. Anything at a lock's name that is not a small regular file
// (a link, a FIFO, a device) holds the port, and is never opened as more than
// a name; so do a file that cannot be read, and an empty or unreadable one
// younger than kFreshness (another program may be writing it). A file is stale,
// and taken over, when it names no live process, names a process that
// started after the file was written (its id was taken again), or is empty or
// unparsable and older than kFreshness. Two fwupload processes taking over
// one stale file take turns (an flock on that file), and a stale file is
// removed only while it is still the one at the name.
//
// Return rules: Take gives a lock that removes its file when destroyed, or
// says what holds the port instead. Where no lock file could be made (no lock
// folder writable), the lock it gives holds no file and says why: nothing to
// honour it with, and the port's other guards still apply.
//
// FWUPLOAD_LOCK_DIR, where set, names the one lock folder to use in place of
// the system's (for tests, which must not touch the system's).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace fwu::cli {

class UucpLock {
 public:
  static constexpr std::chrono::seconds kFreshness{10};

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
  UucpLock(std::string path, dev_t device, ino_t inode) : path_(std::move(path)), device_(device), inode_(inode) {}
  void Release();
  static std::optional<Taking> TakeOnce(const std::vector<std::string>& paths);

  std::string path_;
  dev_t device_ = 0;  // of the file placed, which alone is removed
  ino_t inode_ = 0;
};

struct UucpLock::Taking {
  UucpLock lock;
  std::string holderFile;  // the lock file that holds the port; empty when it is free
  pid_t holder = 0;        // the live process it names; 0 when it names none
  std::string held;        // with no holder: what the file is ("not a lock", "being written", …)
  std::string unlocked;    // the port is free, but no lock file could be made: why
};

}  // namespace fwu::cli
