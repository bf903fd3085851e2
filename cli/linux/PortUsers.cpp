#include "cli/linux/PortUsers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string_view>

namespace fwu::cli {
namespace {

struct DirectoryClose {
  void operator()(DIR* directory) const { closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryClose>;

// Calls `visit` with each numeric name in `path` until it returns true.
bool AnyNumberIn(const std::string& path, const std::function<bool(long)>& visit) {
  Directory directory(opendir(path.c_str()));
  if (!directory) return false;
  while (dirent* entry = readdir(directory.get())) {
    char* end = nullptr;
    long number = std::strtol(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0' && visit(number)) return true;
  }
  return false;
}

// Whether the descriptor link `link` leads into /dev. Reading the link asks
// no file system; following it would ask the one the file is on.
bool LeadsIntoDev(const std::string& link) {
  char target[16];
  ssize_t length = readlink(link.c_str(), target, sizeof target);
  return length >= 5 && std::string_view(target, 5) == "/dev/";
}

// Whether descriptor `fd` of `pid` is a mere handle on a name (O_PATH, as
// fwupload holds a port's node while it looks whether it may open it), which
// neither reads nor writes.
bool IsPathHandle(pid_t pid, long fd) {
  std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/" + std::to_string(fd));
  std::string key;
  unsigned long flags = 0;
  while (info >> key)
    if (key == "flags:" && info >> std::oct >> flags) return (flags & O_PATH) != 0;
  return false;
}

bool HasOpen(pid_t pid, dev_t device) {
  std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  return AnyNumberIn(folder, [&](long fd) {
    std::string link = folder + "/" + std::to_string(fd);
    struct stat target {};
    return LeadsIntoDev(link) && stat(link.c_str(), &target) == 0 && S_ISCHR(target.st_mode) &&
           target.st_rdev == device && !IsPathHandle(pid, fd);
  });
}

// The fields of /proc/PID/stat after the command name (which may hold spaces
// and parentheses), from the state on.
std::istringstream StatFields(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(file, line);
  auto close = line.rfind(')');
  return std::istringstream(close == std::string::npos ? std::string() : line.substr(close + 1));
}

// The session whose controlling terminal `pid` has, when that is `device`.
std::optional<pid_t> SessionOn(pid_t pid, dev_t device) {
  std::istringstream fields = StatFields(pid);
  std::string state;
  long parent = 0, group = 0, session = 0;
  unsigned long terminal = 0;  // the kernel's encoding: minor in bits 0-7 and 20-31, major in 8-19
  if (!(fields >> state >> parent >> group >> session >> terminal) || terminal == 0) return std::nullopt;
  unsigned major = (terminal >> 8) & 0xFFF;
  unsigned minor = (terminal & 0xFF) | ((terminal >> 12) & 0xFFF00);
  if (makedev(major, minor) != device) return std::nullopt;
  return static_cast<pid_t>(session);
}

// The first process for which `match` gives a process to name.
std::optional<PortUser> FirstProcess(const std::function<std::optional<pid_t>(pid_t)>& match) {
  std::optional<PortUser> found;
  AnyNumberIn("/proc", [&](long pid) {
    std::optional<pid_t> named = match(static_cast<pid_t>(pid));
    if (named) found = PortUser{*named, ProcessName(*named)};
    return named.has_value();
  });
  return found;
}

}  // namespace

std::optional<PortUser> FindOtherUser(dev_t device) {
  pid_t self = getpid();
  return FirstProcess([&](pid_t pid) -> std::optional<pid_t> {
    if (pid != self && HasOpen(pid, device)) return pid;
    return std::nullopt;
  });
}

std::optional<PortUser> FindSessionOf(dev_t device) {
  return FirstProcess([&](pid_t pid) { return SessionOn(pid, device); });
}

std::optional<std::chrono::system_clock::time_point> ProcessStarted(pid_t pid) {
  std::istringstream fields = StatFields(pid);
  std::string field;
  // The start, in clock ticks since boot, is the 20th field after the name.
  for (int i = 0; i < 20 && fields >> field;) ++i;
  unsigned long long ticks = 0;
  timespec sinceBoot{};
  if (!fields || std::sscanf(field.c_str(), "%llu", &ticks) != 1 || clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0)
    return std::nullopt;
  // Its age, from the clock the start was taken on: the boot time the
  // system states drifts from the wall clock by seconds.
  auto perSecond = static_cast<unsigned long long>(sysconf(_SC_CLK_TCK));
  auto age = std::chrono::seconds(sinceBoot.tv_sec) + std::chrono::nanoseconds(sinceBoot.tv_nsec) -
             std::chrono::milliseconds(ticks * 1000 / perSecond);
  return std::chrono::system_clock::now() - std::chrono::duration_cast<std::chrono::system_clock::duration>(age);
}

std::string ProcessName(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(file, name);
  return name;
}

}  // namespace fwu::cli
