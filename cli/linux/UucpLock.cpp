#include "cli/linux/UucpLock.h"

#include "cli/linux/PortUsers.h"
#include "cli/linux/UniqueFd.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

namespace fwu::cli {
namespace {

using namespace std::chrono_literals;

// A lock file is ten digits and a newline; some programs write other
// lengths, none this many.
constexpr off_t kLockFileMost = 128;
// Rounds of looking and taking over before a name that keeps changing
// counts as held.
constexpr int kRounds = 20;
// How long another fwupload may take over a stale file before this one
// looks again.
constexpr auto kTurnWait = 2s;

// Both system names are looked at: on most systems one links to the other,
// on some they are separate folders.
std::vector<std::string> LockFolders() {
  if (const char* folder = std::getenv("FWUPLOAD_LOCK_DIR"); folder && *folder) return {folder};
  return {"/var/lock", "/run/lock"};
}

// "/dev/ttyUSB0" -> "LCK..ttyUSB0"; "/dev/pts/3" -> "LCK..pts_3".
std::string LockName(const std::string& device) {
  std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device.substr(device.rfind('/') + 1);
  for (char& c : name)
    if (c == '/') c = '_';
  return "LCK.." + name;
}

std::chrono::system_clock::time_point Modified(const struct stat& info) {
  return std::chrono::system_clock::time_point(std::chrono::seconds(info.st_mtim.tv_sec) +
                                               std::chrono::nanoseconds(info.st_mtim.tv_nsec));
}

// The process id in a lock file's text (spaces, digits, a newline); 0 when
// it holds none.
pid_t ParsePid(const char* text) {
  char* end = nullptr;
  errno = 0;
  long pid = std::strtol(text, &end, 10);
  if (end == text || errno != 0 || pid <= 0 || pid > INT32_MAX) return 0;
  while (*end == ' ' || *end == '\n' || *end == '\r' || *end == '\t') ++end;
  return *end == '\0' ? static_cast<pid_t>(pid) : 0;
}

bool IsAlive(pid_t pid) { return pid != getpid() && (kill(pid, 0) == 0 || errno == EPERM); }

// True when process `pid` started after the lock file was written: the file
// is of an earlier process that had its id. A second's doubt (a wall clock
// set meanwhile) counts as not after.
bool StartedAfter(pid_t pid, const struct stat& lockFile) {
  auto started = ProcessStarted(pid);
  return started && *started > Modified(lockFile) + 1s;
}

// What is at a lock file's name.
struct Found {
  enum class State { kAbsent, kHeld, kStale } state = State::kAbsent;
  pid_t holder = 0;
  std::string held;  // kHeld with no holder: what the file is
  UniqueFd file;     // kStale: the file, to take turns on and compare
  struct stat info {};
};

Found Held(pid_t holder, std::string what = {}) {
  Found found;
  found.state = Found::State::kHeld;
  found.holder = holder;
  found.held = std::move(what);
  return found;
}

// Looks at the lock file at `path` without following a link, blocking on a
// FIFO, or taking a terminal.
Found Look(const std::string& path) {
  UniqueFd file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file) {
    if (errno == ENOENT) return {};
    return Held(0, errno == ELOOP ? "a lock file that is not a lock" : "a lock file it cannot read");
  }
  Found found;
  if (fstat(file.get(), &found.info) != 0 || !S_ISREG(found.info.st_mode) || found.info.st_size > kLockFileMost)
    return Held(0, "a lock file that is not a lock");
  char text[kLockFileMost + 1] = {};
  ssize_t count = read(file.get(), text, kLockFileMost);
  if (count < 0) return Held(0, "a lock file it cannot read");
  pid_t pid = ParsePid(text);
  if (pid == 0 && std::chrono::system_clock::now() - Modified(found.info) < UucpLock::kFreshness)
    return Held(0, "a lock file being written");
  if (pid != 0 && IsAlive(pid) && !StartedAfter(pid, found.info)) return Held(pid);
  found.state = Found::State::kStale;
  found.file = std::move(file);
  return found;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Removes the stale file `found` from `path`, taking turns with other
// fwupload processes on it; false when the name holds another file by then
// (one of them, or another program, has taken over), which is left alone.
bool RemoveStale(const std::string& path, const Found& found) {
  auto giveUp = std::chrono::steady_clock::now() + kTurnWait;
  while (flock(found.file.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(5ms);
  }
  struct stat now {};
  if (lstat(path.c_str(), &now) != 0 || !SameFile(now, found.info)) return false;
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

// This process's lock file placed at `path`: the whole file under a name of
// its own first and then linked into place, so that no reader sees half of
// it; readable by all whatever the umask. Gives the file's identity, or none
// and errno (EEXIST when the place is taken).
std::optional<struct stat> Place(const std::string& path) {
  std::string part = path + ".XXXXXX";
  UniqueFd file(mkostemp(part.data(), O_CLOEXEC));
  if (!file) return std::nullopt;
  char text[16];
  int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
  struct stat info {};
  bool ready = fchmod(file.get(), 0644) == 0 && write(file.get(), text, static_cast<std::size_t>(length)) == length &&
               fstat(file.get(), &info) == 0;
  bool placed = ready && link(part.c_str(), path.c_str()) == 0;
  int error = ready ? errno : EIO;
  unlink(part.c_str());
  errno = error;
  return placed ? std::optional(info) : std::nullopt;
}

}  // namespace

// One round: looks at every folder, takes over stale files, and places the
// lock in the first folder that takes it. None when the names changed
// meanwhile and it must look again.
std::optional<UucpLock::Taking> UucpLock::TakeOnce(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    Found found = Look(path);
    if (found.state == Found::State::kHeld) {
      UucpLock::Taking taking;
      taking.holderFile = path;
      taking.holder = found.holder;
      taking.held = found.held;
      return taking;
    }
    if (found.state == Found::State::kStale && !RemoveStale(path, found)) return std::nullopt;
  }
  std::string why;
  for (const std::string& path : paths) {
    if (auto placed = Place(path)) {
      UucpLock::Taking taking;
      taking.lock = UucpLock(path, placed->st_dev, placed->st_ino);
      return taking;
    }
    if (errno == EEXIST) return std::nullopt;
    if (why.empty()) why = path + ": " + std::strerror(errno);
  }
  UucpLock::Taking taking;
  taking.unlocked = "no lock file could be made (" + why + ")";
  return taking;
}

UucpLock::~UucpLock() { Release(); }

UucpLock::UucpLock(UucpLock&& other) noexcept
    : path_(std::exchange(other.path_, {})), device_(other.device_), inode_(other.inode_) {}

UucpLock& UucpLock::operator=(UucpLock&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::exchange(other.path_, {});
    device_ = other.device_;
    inode_ = other.inode_;
  }
  return *this;
}

// Removes the file only while it is still the one this process placed.
void UucpLock::Release() {
  struct stat info {};
  if (!path_.empty() && lstat(path_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_)
    unlink(path_.c_str());
  path_.clear();
}

UucpLock::Taking UucpLock::Take(const std::string& device) {
  std::vector<std::string> paths;
  for (const std::string& folder : LockFolders()) paths.push_back(folder + "/" + LockName(device));
  for (int round = 0; round < kRounds; ++round)
    if (auto taking = TakeOnce(paths)) return std::move(*taking);
  Taking busy;
  busy.holderFile = paths.front();
  busy.held = "a lock file that keeps changing";
  return busy;
}

}  // namespace fwu::cli
