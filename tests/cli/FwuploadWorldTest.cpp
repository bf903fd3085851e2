// fwupload outside a test bench's comforts: standard output closed, a reader
// that goes away or stops reading, a narrow terminal, interrupts at awkward
// moments, firmware files that cannot be sent.
#include "tests/cli/FwuploadFixture.h"
#include "tests/native/OutputPipe.h"
#include "tests/native/Terminal.h"
#include "tests/native/Wait.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <numeric>
#include <thread>

using namespace std::chrono_literals;

namespace {

class World : public Fwupload {
 protected:
  // fwupload with standard error to a file and `prepare` setting up the rest.
  std::unique_ptr<Child> StartWith(const std::vector<std::string>& arguments, const std::function<bool()>& prepare,
                                   const std::string& program = FWUPLOAD) {
    std::string err = folder / "run.err";
    return std::make_unique<Child>(program, arguments, [=] {
      int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      return fd >= 0 && dup2(fd, STDERR_FILENO) >= 0 && prepare();
    });
  }
  std::unique_ptr<Child> StartInto(OutputPipe& pipe, const std::vector<std::string>& arguments) {
    auto child = StartWith(arguments, [&] { return pipe.BecomeStandardOutput(); });
    pipe.CloseWriteEnd();
    return child;
  }
  std::vector<std::string> Errors() { return LinesOf(ReadFile(folder / "run.err")); }
  // A file of `bytes` (the most fwupload takes) that takes no room on the disk.
  std::string BigFile(std::uintmax_t bytes = std::uintmax_t{256} << 20) {
    std::string big = folder / ("big" + std::to_string(bytes));
    WriteFile(big, "");
    std::filesystem::resize_file(big, bytes);
    return big;
  }
};

TEST_F(World, WithStandardOutputClosedTheDeviceGetsExactlyTheFile) {
  std::string file = Firmware(12000);
  PtyDevice& device = Device();
  auto run = StartWith({"--json", "-p", device.Port(), file}, [] { return close(STDOUT_FILENO) == 0; });
  EXPECT_EQ(run->Wait(), 0);
  EXPECT_EQ(device.Log(), firmware);
}

TEST_F(World, AHelpOrVersionThatCannotBeWrittenIsNoSuccess) {
  for (const char* option : {"--help", "--version"}) {
    auto full = [] {
      int fd = open("/dev/full", O_WRONLY);
      return fd >= 0 && dup2(fd, STDOUT_FILENO) >= 0;
    };
    EXPECT_EQ(StartWith({option}, full)->Wait(), 74) << option;
    EXPECT_EQ(Errors(), std::vector<std::string>{"fwupload: cannot write standard output: No space left on device"});
  }
}

// With standard error closed at the start, the port must not take its
// number: what goes to standard error (here, that the output was lost) would
// go down the line.
TEST_F(World, WithStandardErrorClosedNothingMeantForItReachesTheLine) {
  std::string file = Firmware(6016);  // about a second at the line's pace
  PtyDevice& device = Device({"--pace-baud", "57600"});
  OutputPipe pipe(false);
  Child run(FWUPLOAD, {"-p", device.Port(), file},
            [&] { return close(STDERR_FILENO) == 0 && pipe.BecomeStandardOutput(); });
  pipe.CloseWriteEnd();
  EXPECT_FALSE(pipe.ReadLine().empty());
  pipe.CloseReadEnd();
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_EQ(device.Log(), firmware);
}

TEST_F(World, AReaderThatGoesAwayLeavesEveryRunToItsEnd) {
  std::string file = Firmware(6016);  // about a second at the line's pace
  PtyDevice& first = Device({"--pace-baud", "57600"});
  PtyDevice& second = Device({"--pace-baud", "57600"});
  OutputPipe pipe(false);
  auto run = StartInto(pipe, {"-p", first.Port(), "-p", second.Port(), file});
  EXPECT_FALSE(pipe.ReadLine().empty());
  pipe.CloseReadEnd();  // as `| head -1` does
  EXPECT_EQ(run->Wait(), 0);
  EXPECT_EQ(first.Log(), firmware);
  EXPECT_EQ(second.Log(), firmware);
  std::vector<std::string> errors = Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("fwupload: standard output lost (Broken pipe)", 0), 0u) << errors[0];
}

TEST_F(World, AReaderThatStopsReadingHoldsUpNoLineAndMissesNoPercentage) {
  std::string file = Firmware(6016);
  PtyDevice& first = Device({"--pace-baud", "57600"});
  PtyDevice& second = Device({"--pace-baud", "57600"});
  OutputPipe pipe(true);
  auto run = StartInto(pipe, {"--json", "-p", first.Port(), "-p", second.Port(), file});
  // Both devices are served while the output is stuck.
  EXPECT_TRUE(first.WaitForEvent("done 6016"));
  EXPECT_TRUE(second.WaitForEvent("done 6016"));
  std::map<std::string, std::vector<std::int64_t>> percents;
  for (const std::string& line : LinesOf(pipe.ReadToEnd())) {
    auto event = nlohmann::json::parse(line);
    if (event["event"] == "progress") percents[event["port"]].push_back(event["percent"]);
  }
  EXPECT_EQ(run->Wait(), 0);
  std::vector<std::int64_t> every(101);
  std::iota(every.begin(), every.end(), 0);
  EXPECT_EQ(percents[first.Port()], every);
  EXPECT_EQ(percents[second.Port()], every);
}

TEST_F(World, CtrlCWhileTheOutputIsStuckStillEndsAtOnce) {
  std::string file = Firmware(60000);
  PtyDevice& device = Device({"--pace-baud", "57600"});
  OutputPipe pipe(true);
  auto run = StartInto(pipe, {"--json", "-p", device.Port(), file});
  ASSERT_TRUE(device.WaitForEvent("body 1024"));
  run->Signal(SIGINT);
  EXPECT_EQ(run->Wait(kPromptly), 130);
  device.Stop();
  EXPECT_LT(device.Log().size(), firmware.size());
}

// Each live row must fit the terminal's width, or the redraw leaves copies
// behind; with no row to spare per port, the lines of each further 10 %.
TEST_F(World, ANarrowOrShortTerminalGetsOneRowPerPortOrStepLines) {
  std::string file = Firmware(3016);
  std::vector<std::string> arguments{file};
  for (int i = 0; i < 2; ++i) arguments.insert(arguments.end(), {"-p", Device().Port()});

  Terminal narrow(50, 24);
  ASSERT_EQ(Child(FWUPLOAD, arguments, narrow.Path(), folder / "run.err").Wait(), 0);
  std::string drawn = narrow.Drawn();
  std::size_t rows = 0;
  for (const std::string& line : LinesOf(drawn)) {
    auto row = line.rfind("\r\x1b[K");
    if (row == std::string::npos) continue;
    ++rows;
    // What the terminal shows after the row's start, less the "\r" its "\n" became.
    EXPECT_LT(line.size() - row - 5, 50u) << line;
  }
  EXPECT_GE(rows, 2u);
  EXPECT_NE(drawn.find("\x1b[2A"), std::string::npos);

  Terminal shortOne(80, 2);
  ASSERT_EQ(Child(FWUPLOAD, arguments, shortOne.Path(), folder / "run.err").Wait(), 0);
  drawn = shortOne.Drawn();
  EXPECT_EQ(drawn.find("\x1b["), std::string::npos) << drawn;
  EXPECT_NE(drawn.find(devices[1]->Port() + ": 100% (3000/3000 bytes)"), std::string::npos) << drawn;
}

TEST_F(World, CtrlCWhileABigFileIsReadOpensNoPortAndEndsAtOnce) {
  std::string file = Firmware(1016);
  PtyDevice& device = Device();
  std::string big = BigFile();
  auto run = Start({"-p", device.Port(), big});
  auto reading = [&] {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(run->Pid()) + "/fd", error))
      if (std::filesystem::read_symlink(entry, error) == big) return true;
    return false;
  };
  ASSERT_TRUE(WaitUntil(reading));
  run->Signal(SIGINT);
  EXPECT_EQ(run->Wait(kPromptly), 130);
  device.Stop();
  EXPECT_EQ(device.Opens(), 0);
}

TEST_F(World, AFileRewrittenWhileItIsReadIsNotSent) {
  PtyDevice& device = Device();
  std::string big = BigFile(std::uintmax_t{64} << 20);
  // Rewritten in place, its size unchanged, all the while fwupload reads it.
  std::atomic<bool> done{false};
  std::thread writer([&] {
    int fd = open(big.c_str(), O_WRONLY | O_CLOEXEC);
    while (!done) {
      EXPECT_EQ(pwrite(fd, "x", 1, 4096), 1);
      std::this_thread::yield();
    }
    close(fd);
  });
  Ran ran = Run({"--quiet", "-p", device.Port(), big});
  done = true;
  writer.join();
  EXPECT_EQ(ran.status, 1);
  EXPECT_EQ(ran.err, std::vector<std::string>{device.Port() + ": " + big + " changed while it was read; try again once it is written"});
  EXPECT_TRUE(device.Log().empty());
}

TEST_F(World, APortWhoseThreadCannotStartFailsAloneWithWhy) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run as a user under a limit on processes";
  std::string file = Firmware(1016);
  std::string fwupload = FwuploadForAnotherUser();
  std::string out = folder / "run.out";
  // AddressSanitizer's leak check at the exit needs a thread of its own,
  // which the limit refuses too.
  struct NoLeakCheck {
    NoLeakCheck() { setenv("ASAN_OPTIONS", "detect_leaks=0", 1); }
    ~NoLeakCheck() { unsetenv("ASAN_OPTIONS"); }
  } noLeakCheck;
  auto oneProcess = [&] {
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    rlimit one{1, 1};
    return fd >= 0 && dup2(fd, STDOUT_FILENO) >= 0 && setrlimit(RLIMIT_NPROC, &one) == 0 &&
           setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
  };
  EXPECT_EQ(StartWith({"--quiet", "-p", "ttyFWU0", "-p", "ttyFWU1", file}, oneProcess, fwupload)->Wait(), 2);
  EXPECT_EQ(LinesOf(ReadFile(out)), (std::vector<std::string>{"/dev/ttyFWU0: ERROR:2 Can't open the serial port: /dev/ttyFWU0",
                                                              "/dev/ttyFWU1: ERROR:2 Can't open the serial port: /dev/ttyFWU1"}));
  ASSERT_EQ(Errors().size(), 2u);
  EXPECT_NE(Errors()[0].find("no thread could be started for the port"), std::string::npos) << Errors()[0];
}

TEST_F(World, AnInterruptStillShowsThePortsThatHadFinished) {
  std::string file = Firmware(60000);
  PtyDevice& quick = Device();
  PtyDevice& slow = Device({"--pace-baud", "57600"});
  auto run = Start({"--quiet", "-p", quick.Port(), "-p", slow.Port(), file});
  ASSERT_TRUE(quick.WaitForEvent("done 60000"));
  // The quick port's run has ended well before the slow device takes 2 KiB more.
  std::string last = slow.LastEvent("body ");
  std::int64_t now = last.empty() ? 0 : std::stoll(last.substr(5));
  ASSERT_TRUE(slow.WaitForEvent("body " + std::to_string(now + 2048)));
  run->Signal(SIGINT);
  Ran ran = Finish(*run, "run", kPromptly);
  EXPECT_EQ(ran.status, 130);
  EXPECT_EQ(ran.out, std::vector<std::string>{quick.Port() + ": Device update!"});
  EXPECT_EQ(ran.err, std::vector<std::string>{"fwupload: interrupted"});
}

// Why a file cannot be sent: below the result line on standard error, and in
// the JSON result. The port is never opened.
TEST_F(World, AFileThatCannotBeSentSaysWhyAndOpensNoPort) {
  Firmware(1016);
  PtyDevice& device = Device();
  std::string unreadable = folder / "locked.bin";
  WriteFile(unreadable, "0123456789abcdef");
  chmod(unreadable.c_str(), 0);
  std::string big = BigFile();
  struct Case {
    std::string file;
    std::string reason;
    rlim_t memory = RLIM_INFINITY;
  };
  std::string over = BigFile((std::uintmax_t{256} << 20) + 1);
  std::string pipe = folder / "pipe";
  mkfifo(pipe.c_str(), 0644);  // no writer: an open that waited would wait for good
  std::vector<Case> cases{
      {folder / "absent.bin", "no such file: " + folder / "absent.bin"},
      {folder.Path(), folder.Path() + " is a folder, not a firmware file"},
      {pipe, pipe + " is not a regular file"},
      {over, over + " is too big (268435457 bytes): no firmware for a serial line is over 256 MiB"}};
  // A sanitizer's runtime reserves more address space than any such limit.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  cases.push_back({big, big + " is too big to hold in memory (268435456 bytes)", rlim_t{128} << 20});
#endif
  if (geteuid() != 0) cases.push_back({unreadable, "cannot read " + unreadable + ": Permission denied"});
  for (const Case& c : cases) {
    auto limited = [&] {
      rlimit memory{c.memory, c.memory};
      return setrlimit(RLIMIT_AS, &memory) == 0;
    };
    std::string out = folder / "run.out";
    auto toFile = [&] {
      int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      return limited() && fd >= 0 && dup2(fd, STDOUT_FILENO) >= 0;
    };
    EXPECT_EQ(StartWith({"--quiet", "-p", device.Port(), c.file}, toFile)->Wait(), 1);
    EXPECT_EQ(LinesOf(ReadFile(out)), std::vector<std::string>{device.Port() + ": ERROR:1 Firmware missing!"});
    EXPECT_EQ(Errors(), std::vector<std::string>{device.Port() + ": " + c.reason});

    EXPECT_EQ(StartWith({"--json", "-p", device.Port(), c.file}, toFile)->Wait(), 1);
    auto result = nlohmann::json::parse(ReadFile(out));
    EXPECT_EQ(result["outcome"], 1);
    EXPECT_EQ(result["reason"], c.reason);
  }
  device.Stop();
  EXPECT_EQ(device.Opens(), 0);
}

}  // namespace
