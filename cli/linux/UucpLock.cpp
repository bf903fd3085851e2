#include "cli/linux/UucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace fwu::cli {
namespace {

// Both names are looked at: on most systems one links to the other, on some
// they are separate folders.
constexpr const char* kLockFolders[] = {"/var/lock", "/run/lock"};

// "/dev/ttyUSB0" -> "LCK..ttyUSB0"; "/dev/pts/3" -> "LCK..pts_3".
std::string LockName(const std::string& device) {
  std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device.substr(device.rfind('/') + 1);
  for (char& c : name)
    if (c == '/') c = '_';
  return "LCK.." + name;
}

// The process id a lock file names; 0 when there is none or it says none.
pid_t LockOwner(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[32] = {};
  ssize_t count = read(fd, text, sizeof text - 1);
  close(fd);
  if (count <= 0) return 0;
  long pid = std::strtol(text, nullptr, 10);
  return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool IsAlive(pid_t pid) { return pid > 0 && pid != getpid() && (kill(pid, 0) == 0 || errno == EPERM); }

// Writes this process's lock file as `path`: the whole file under another
// name first and then linked into place, so that no reader sees half of it.
// False when the place is taken, or the folder is not writable.
bool Place(const std::string& path) {
  std::string part = path + "." + std::to_string(getpid());
  unlink(part.c_str());  // left by a killed process that had this id
  int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  char text[16];
  int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
  bool written = write(fd, text, static_cast<std::size_t>(length)) == length;
  close(fd);
  bool placed = written && link(part.c_str(), path.c_str()) == 0;
  unlink(part.c_str());
  return placed;
}

}  // namespace

UucpLock::~UucpLock() { Release(); }

UucpLock::UucpLock(UucpLock&& other) noexcept : path_(std::exchange(other.path_, {})) {}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

// Removes the file only while it still names this process.
void UucpLock::Release() {
  if (!path_.empty() && LockOwner(path_) == getpid()) unlink(path_.c_str());
  path_.clear();
}

UucpLock::Taking UucpLock::Take(const std::string& device) {
  std::string name = LockName(device);
  for (const char* folder : kLockFolders) {
    std::string path = std::string(folder) + "/" + name;
    pid_t owner = LockOwner(path);
    if (IsAlive(owner)) return {{}, owner, path};
    if (access(path.c_str(), F_OK) == 0) unlink(path.c_str());  // stale
  }
  for (const char* folder : kLockFolders) {
    std::string path = std::string(folder) + "/" + name;
    if (Place(path)) return {UucpLock(path), 0, {}};
    // Taken since it was looked at: by a live process, or it would have
    // been removed above.
    if (pid_t owner = LockOwner(path); IsAlive(owner)) return {{}, owner, path};
  }
  return {};
}

}  // namespace fwu::cli
