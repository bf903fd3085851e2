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
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
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
  EXPECT_TRUE(device.Log().empty());
  EXPECT_EQ(Status({device.Port()}), 0) << "the port is free again";
}

TEST_F(PortClaim, ALockFileOfALiveProcessRefusesThePortAndOneOfADeadProcessIsTakenOver) {
  if (access("/var/lock", W_OK) != 0) GTEST_SKIP() << "/var/lock is not writable here";
  PtyDevice& device = Device({"--answer-delay-ms", "200"});
  std::string pts = std::filesystem::read_symlink(device.Port());  // "/dev/pts/N"
  std::string lock = "/var/lock/LCK..pts_" + pts.substr(pts.rfind('/') + 1);
  auto lockFile = [](pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return std::string(text);
  };

  WriteFile(lock, lockFile(getppid()));
  EXPECT_EQ(Status({device.Port()}, 3s), 2);
  EXPECT_NE(OpenLine(device.Port()).reason.find("by its lock file " + lock), std::string::npos);

  pid_t dead = fork();  // a program killed before it could remove its lock
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  WriteFile(lock, lockFile(dead));
  std::unique_ptr<Child> run = Start({device.Port()});
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(lock) == lockFile(run->Pid()); })) << "held while the run goes on";
  EXPECT_EQ(run->Wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(lock)) << "removed at the end";
  std::filesystem::remove(lock);
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
  struct sigaction action {};
  action.sa_handler = Ignore;  // no SA_RESTART: every blocking call it meets ends with EINTR
  sigaction(SIGUSR1, &action, nullptr);
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
