// fwupload beside other users of its port, and what it leaves the port with:
// the real fwupload and the line's own open against virtual devices on ptys.
#include "cli/Platform.h"
#include "tests/native/Child.h"
#include "tests/native/Folder.h"
#include "tests/native/PtyDevice.h"
#include "tests/native/Wait.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using fwu::cli::OpenLine;

namespace {

class PortClaim : public ::testing::Test {
 protected:
  void SetUp() override {
    file = folder / "fw.bin";
    WriteFile(file, std::string(1016, 'f'));
  }
  PtyDevice& Device(std::vector<std::string> options = {}) {
    options.insert(options.end(), {"--body-length", "1000"});
    devices.push_back(std::make_unique<PtyDevice>(folder.Path(), "dev" + std::to_string(devices.size()), options));
    EXPECT_TRUE(devices.back()->Ready());
    return *devices.back();
  }
  std::unique_ptr<Child> Start(const std::vector<std::string>& ports) {
    std::vector<std::string> arguments{"--quiet", file};
    for (const std::string& port : ports) arguments.insert(arguments.end(), {"-p", port});
    return std::make_unique<Child>(FWUPLOAD, arguments, folder / "run.out", folder / "run.err");
  }
  // The exit status of fwupload on `ports`, which must end within `timeout`.
  std::optional<int> Status(const std::vector<std::string>& ports, std::chrono::milliseconds timeout = 10s) {
    return Start(ports)->Wait(timeout);
  }

  Folder folder;
  std::string file;
  std::vector<std::unique_ptr<PtyDevice>> devices;
};

// The descriptor another program would hold the port with.
struct HeldOpen {
  explicit HeldOpen(const std::string& port) : fd(open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~HeldOpen() { close(fd); }
  int fd;
};

termios SettingsOf(const std::string& port) {
  termios settings{};
  HeldOpen line(port);
  tcgetattr(line.fd, &settings);
  return settings;
}

bool Same(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b) &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

TEST_F(PortClaim, APortAnotherProgramHasOpenIsRefusedAtOnceAndSaysWho) {
  PtyDevice& device = Device();
  {
    HeldOpen other(device.Port());
    EXPECT_EQ(Status({device.Port()}, 3s), 2);
  }
  // A plain open, with no lock of any kind.
  Child sleeper("/bin/sh", {"-c", "exec sleep 60 3<>\"$0\"", device.Port()}, folder / "sleep.out",
                folder / "sleep.err");
  ASSERT_TRUE(WaitUntil([&] { return !OpenLine(device.Port()).line; }));
  EXPECT_EQ(OpenLine(device.Port()).reason,
            "in use by sleep (pid " + std::to_string(sleeper.Pid()) + "): close it, then try again");
  sleeper.Signal(SIGKILL);
  sleeper.Wait();
  // A holder whose name would retitle the terminal is named harmlessly.
  std::string named = folder / "\x1b]0;x\a";
  std::filesystem::copy_file("/bin/sleep", named);
  Child escaper("/bin/sh", {"-c", "exec \"$1\" 60 3<>\"$0\"", device.Port(), named}, folder / "sleep.out",
                folder / "sleep.err");
  ASSERT_TRUE(WaitUntil([&] { return OpenLine(device.Port()).reason.find("]0;x") != std::string::npos; }));
  EXPECT_EQ(Status({device.Port()}), 2);
  EXPECT_EQ(ReadFile(folder / "run.err").find('\x1b'), std::string::npos);
  EXPECT_NE(ReadFile(folder / "run.err").find("in use by \\x1b]0;x\\x07 (pid"), std::string::npos);
  escaper.Signal(SIGKILL);
  escaper.Wait();
  EXPECT_TRUE(device.Log().empty());
  EXPECT_EQ(Status({device.Port()}), 0) << "the port is free again";
}

// fwupload's lock folder for one test, in the test's own folder: nothing is
// left in the system's, however the test ends.
class LockFolder {
 public:
  explicit LockFolder(const Folder& folder) : path_(folder / "locks") {
    std::filesystem::create_directory(path_);
    setenv("FWUPLOAD_LOCK_DIR", path_.c_str(), 1);
  }
  ~LockFolder() { unsetenv("FWUPLOAD_LOCK_DIR"); }
  LockFolder(const LockFolder&) = delete;
  LockFolder& operator=(const LockFolder&) = delete;

  // The lock file's name for the pty behind `port`.
  std::string For(const std::string& port) const {
    std::string pts = std::filesystem::read_symlink(port);  // "/dev/pts/N"
    return path_ + "/LCK..pts_" + pts.substr(pts.rfind('/') + 1);
  }

 private:
  std::string path_;
};

std::string LockText(pid_t pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
  return text;
}

pid_t DeadPid() {
  pid_t dead = fork();  // a program killed before it could remove its lock
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  return dead;
}

void Age(const std::string& path, std::chrono::seconds age) {
  timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= age.count();
  times[1] = times[0];
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

TEST_F(PortClaim, ALockFileOfALiveProcessRefusesThePortAndAStaleOneIsTakenOver) {
  LockFolder locks(folder);
  PtyDevice& device = Device({"--answer-delay-ms", "200"});
  std::string lock = locks.For(device.Port());

  WriteFile(lock, LockText(getppid()));
  EXPECT_EQ(Status({device.Port()}, 3s), 2);
  EXPECT_NE(OpenLine(device.Port()).reason.find("by its lock file " + lock), std::string::npos);

  // Stale: a dead process's; a live process's that started after the file
  // was written (its id was taken again); an empty one no longer written.
  for (std::string stale : {LockText(DeadPid()), LockText(getpid()), std::string()}) {
    WriteFile(lock, stale);
    Age(lock, 1h);
    mode_t umaskBefore = umask(077);
    std::unique_ptr<Child> run = Start({device.Port()});
    umask(umaskBefore);
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(lock) == LockText(run->Pid()); })) << "held while the run goes on";
    struct stat info {};
    EXPECT_EQ(stat(lock.c_str(), &info) == 0 ? info.st_mode & 0777 : 0, 0644u) << "readable by other tools";
    EXPECT_EQ(run->Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(lock)) << "removed at the end";
  }

  // With no lock folder to write into, the run goes on and says so.
  setenv("FWUPLOAD_LOCK_DIR", (folder / "absent").c_str(), 1);
  EXPECT_EQ(Status({device.Port()}), 0);
  EXPECT_NE(ReadFile(folder / "run.err").find(": warning: no lock file could be made ("), std::string::npos);
}

TEST_F(PortClaim, WhatIsNoLockFileAtTheLocksNameHoldsThePortAndIsLeftAlone) {
  LockFolder locks(folder);
  PtyDevice& device = Device();
  std::string lock = locks.For(device.Port());
  auto holds = [&](const std::string& what) {
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Status({device.Port()}, 3s), 2) << what;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s) << what;
    EXPECT_NE(ReadFile(folder / "run.err").find("held by " + what + ": " + lock), std::string::npos) << what;
    EXPECT_TRUE(std::filesystem::symlink_status(lock).type() != std::filesystem::file_type::not_found) << what;
    std::filesystem::remove(lock);
  };
  ASSERT_EQ(mkfifo(lock.c_str(), 0666), 0);
  holds("a lock file that is not a lock");
  std::filesystem::create_symlink(device.Port(), lock);
  holds("a lock file that is not a lock");
  WriteFile(lock, "");  // made, not written yet
  holds("a lock file being written");
  EXPECT_TRUE(device.Log().empty());
}

TEST_F(PortClaim, OfTwoRunsTakingOverOneStaleLockOneRunsUnderItsLockAndTheOtherIsRefused) {
  LockFolder locks(folder);
  PtyDevice& device = Device({"--answer-delay-ms", "300"});
  std::string lock = locks.For(device.Port());
  for (int round = 0; round < 10; ++round) {
    WriteFile(lock, LockText(DeadPid()));
    std::unique_ptr<Child> runs[2] = {Start({device.Port()}), Start({device.Port()})};
    std::optional<int> first[2];
    ASSERT_TRUE(WaitUntil([&] { return (first[0] = runs[0]->Wait(0ms)) || (first[1] = runs[1]->Wait(0ms)); }));
    int loser = first[0] ? 0 : 1;
    EXPECT_EQ(first[loser], 2) << "round " << round;
    EXPECT_EQ(ReadFile(lock), LockText(runs[1 - loser]->Pid())) << "round " << round;
    EXPECT_EQ(runs[1 - loser]->Wait(), 0) << "round " << round;
  }
}

TEST_F(PortClaim, ThePortGetsBackTheSettingsItHadBeforeTheRun) {
  PtyDevice& device = Device();
  {
    HeldOpen line(device.Port());
    termios cooked{};
    tcgetattr(line.fd, &cooked);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= ICRNL | IXON;
    cfsetspeed(&cooked, B9600);
    tcsetattr(line.fd, TCSANOW, &cooked);
  }
  termios before = SettingsOf(device.Port());
  ASSERT_EQ(Status({device.Port()}), 0);
  EXPECT_TRUE(device.HasEvent("settings 57600 8 N 1"));
  EXPECT_TRUE(Same(SettingsOf(device.Port()), before));
}

TEST_F(PortClaim, OneDeviceUnderTwoNamesIsAUsageError) {
  PtyDevice& device = Device();
  std::filesystem::create_symlink(device.Port(), folder / "other-name");
  EXPECT_EQ(Status({device.Port(), folder / "other-name"}), 64);
  EXPECT_NE(ReadFile(folder / "run.err").find("are the same device"), std::string::npos);
  EXPECT_TRUE(device.Log().empty());
}

// A terminal that is the controlling terminal of a session whose leader
// holds no descriptor of it: only the session tells it is in use.
class SessionTerminal {
 public:
  SessionTerminal() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    grantpt(master_);
    unlockpt(master_);
    path_ = ptsname(master_);
    leader_ = fork();
    if (leader_ != 0) return;
    setsid();
    close(open(path_.c_str(), O_RDWR));  // a session leader's first terminal becomes its own
    pause();
    _exit(0);
  }
  ~SessionTerminal() {
    kill(leader_, SIGKILL);
    waitpid(leader_, nullptr, 0);
    close(master_);
  }
  const std::string& Path() const { return path_; }
  pid_t Leader() const { return leader_; }

 private:
  int master_;
  std::string path_;
  pid_t leader_ = -1;
};

// Runs `call` in a child process without root's rights; gives what it wrote.
std::string AsNobody(const std::function<std::string()>& call) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
    std::string text = call();
    _exit(write(pipeEnds[1], text.data(), text.size()) < 0);
  }
  close(pipeEnds[1]);
  waitpid(child, nullptr, 0);
  std::string text(4096, '\0');
  ssize_t count = read(pipeEnds[0], text.data(), text.size());
  close(pipeEnds[0]);
  text.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  return text;
}

TEST_F(PortClaim, AnOpenThatFailsSaysWhy) {
  WriteFile(folder / "plain", "");
  std::filesystem::create_directory(folder / "folder");
  EXPECT_EQ(OpenLine(folder / "absent").reason.rfind("no such device", 0), 0u);
  EXPECT_EQ(OpenLine(folder / "plain").reason, "not a serial port (a file)");
  EXPECT_EQ(OpenLine(folder / "folder").reason, "not a serial port (a folder)");
  EXPECT_EQ(OpenLine("/dev/null").reason, "not a serial port (not a terminal)");
  // A virtual console: a device node made here for tty5, never opened.
  if (geteuid() == 0 && mknod((folder / "tty5").c_str(), S_IFCHR | 0600, makedev(4, 5)) == 0) {
    EXPECT_EQ(OpenLine(folder / "tty5").reason, "not a serial port (a terminal of the system's own, not a device)");
  }

  SessionTerminal terminal;
  ASSERT_TRUE(WaitUntil([&] { return OpenLine(terminal.Path()).line == nullptr; }));
  EXPECT_EQ(OpenLine(terminal.Path()).reason.rfind("a terminal, not a device: it is the controlling terminal of ", 0),
            0u);

  const group* dialout = getgrnam("dialout");
  if (geteuid() != 0 || !dialout) GTEST_SKIP() << "the permission case needs root, to drop its rights, and dialout";
  PtyDevice& device = Device();
  std::string pts = std::filesystem::read_symlink(device.Port());  // the folder is root's alone
  ASSERT_EQ(chown(pts.c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(pts.c_str(), 0660), 0);
  std::string denied = AsNobody([&] { return OpenLine(pts).reason; });
  EXPECT_EQ(denied,
            "permission denied: the port is for the group dialout; join it with 'sudo usermod -aG dialout nobody', "
            "then log in again");
}

void Ignore(int) {}

TEST_F(PortClaim, ASignalDuringAReplyWaitDoesNotCutItShort) {
  PtyDevice& device = Device({"--answer-delay-ms", "200"});
  auto opening = OpenLine(device.Port());
  ASSERT_TRUE(opening.line);
  struct sigaction action {}, before{};
  action.sa_handler = Ignore;  // no SA_RESTART: every blocking call it meets ends with EINTR
  sigaction(SIGUSR1, &action, &before);
  std::unique_ptr<struct sigaction, std::function<void(struct sigaction*)>> restore(
      &before, [](struct sigaction* previous) { sigaction(SIGUSR1, previous, nullptr); });
  std::uint8_t header[16] = {};
  ASSERT_EQ(opening.line->Write(header), 16);
  std::atomic<bool> done{false};
  pthread_t reader = pthread_self();
  std::thread interrupter([&] {
    while (!done) {
      pthread_kill(reader, SIGUSR1);
      std::this_thread::sleep_for(5ms);
    }
  });
  std::uint8_t answer[2] = {};
  std::int64_t got = opening.line->Read(answer);
  done = true;
  interrupter.join();
  EXPECT_EQ(got, 2);
  EXPECT_EQ(std::string(answer, answer + 2), "OK");
}

}  // namespace
