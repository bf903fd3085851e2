// fwupload --watch as a station runs it: virtual devices on ptys whose ports
// appear and go as links in a folder the station watches.
#include "tests/cli/FwuploadFixture.h"
#include "tests/native/OutputPipe.h"
#include "tests/native/PortLinks.h"
#include "tests/native/PtyDevice.h"
#include "tests/native/Wait.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

// fwupload's fixture, with the station's ports folder; a board is a device
// that takes the body of the current firmware (fw.bin).
class Watch : public Fwupload {
 protected:
  Watch() { UseBody(2000); }
  void UseBody(std::size_t bytes) { Firmware(16 + bytes); }
  PtyDevice& Board(std::vector<std::string> options = {}) { return Device(std::move(options)); }
  void Start(std::vector<std::string> options) {
    options.insert(options.begin(), {"--watch", "-p", links.Pattern()});
    options.push_back(folder / "fw.bin");
    station = std::make_unique<Child>(FWUPLOAD, options, folder / "out", folder / "err");
  }
  std::vector<std::string> Out() const { return LinesOf(ReadFile(folder / "out")); }
  bool Shows(const std::string& line) const {
    return WaitUntil([&] {
      auto out = Out();
      return std::find(out.begin(), out.end(), line) != out.end();
    });
  }
  static int Updates(const PtyDevice& board) {
    auto events = board.Events();
    return static_cast<int>(
        std::count_if(events.begin(), events.end(), [](const std::string& e) { return e.rfind("done ", 0) == 0; }));
  }

  PortLinks links{folder.Path(), "ports"};
  std::unique_ptr<Child> station;
};

TEST_F(Watch, UpdatesEachBoardOnceAnAppearanceUntilItsCountIsReached) {
  Start({"--present", "--count", "4", "--reboot-window", "0"});
  PtyDevice& first = Board();
  PtyDevice& second = Board();
  PtyDevice& third = Board();
  std::string usb0 = links.Plug("usb0", first.Port());
  ASSERT_TRUE(Shows(usb0 + ": Device update!  (1 updated, 0 failed)"));
  std::string usb1 = links.Plug("usb1", second.Port());
  ASSERT_TRUE(Shows(usb1 + ": Device update!  (2 updated, 0 failed)"));
  // Pulled out, and plugged in again: with no reboot window, the next board.
  links.Unplug("usb0");
  ASSERT_TRUE(Shows(usb0 + ": gone"));
  links.Plug("usb0", first.Port());
  ASSERT_TRUE(Shows(usb0 + ": Device update!  (3 updated, 0 failed)"));
  std::string usb2 = links.Plug("usb2", third.Port());

  EXPECT_EQ(station->Wait(), 0);
  EXPECT_EQ(Out().back(), "4 updated, 0 failed");
  EXPECT_EQ(Updates(first), 2);
  EXPECT_EQ(Updates(second), 1);  // left in from its update to the end
  EXPECT_EQ(Updates(third), 1);
  EXPECT_TRUE(second.Log() == firmware);
}

TEST_F(Watch, BoardsPluggedInTogetherAreUpdatedAtOnce) {
  UseBody(12000);
  PtyDevice& one = Board({"--pace-baud", "57600"});
  PtyDevice& two = Board({"--pace-baud", "57600"});
  Start({"--json", "--present", "--count", "2"});
  std::string usb0 = links.Plug("usb0", one.Port());
  std::string usb1 = links.Plug("usb1", two.Port());
  // Each device takes its body at the line's pace, two seconds: both are
  // under way together.
  ASSERT_TRUE(one.WaitForEvent("body 1024"));
  ASSERT_TRUE(two.WaitForEvent("body 1024"));
  EXPECT_FALSE(one.HasEvent("body-end 12000") || two.HasEvent("body-end 12000"));
  ASSERT_EQ(station->Wait(), 0);

  std::vector<nlohmann::json> others;  // all but the progress
  for (const std::string& line : Out()) {
    auto event = nlohmann::json::parse(line);
    if (event["event"] != "progress") others.push_back(event);
  }
  ASSERT_EQ(others.size(), 5u);
  EXPECT_EQ(others[0]["event"], "station");
  EXPECT_EQ(others[1], (nlohmann::json{{"port", usb0}, {"event", "appeared"}, {"update", true}}));
  EXPECT_EQ(others[2], (nlohmann::json{{"port", usb1}, {"event", "appeared"}, {"update", true}}));
  for (const auto& result : {others[3], others[4]}) {
    EXPECT_EQ(result["event"], "result");
    EXPECT_EQ(result["outcome"], 0);
  }
  EXPECT_EQ(others[4]["updated"], 2);
  EXPECT_TRUE(one.Log() == firmware);
  EXPECT_TRUE(two.Log() == firmware);
}

TEST_F(Watch, AFailedOrPulledBoardIsReportedTheOthersGoOnAndCtrlCEndsWithTheFirstFailure) {
  PtyDevice& wrong = Board({"--first-answer", "4E4F"});
  PtyDevice& pulled = Board({"--hang-up-after", "1000", "--pace-baud", "57600"});
  PtyDevice& good = Board({"--pace-baud", "57600"});
  PtyDevice& later = Board();
  Start({"--quiet", "--present"});
  std::string usb0 = links.Plug("usb0", wrong.Port());
  ASSERT_TRUE(WaitUntil([&] { return Out().size() == 1; }));
  std::string usb1 = links.Plug("usb1", pulled.Port());
  std::string usb2 = links.Plug("usb2", good.Port());
  ASSERT_TRUE(WaitUntil([&] { return Out().size() == 3; }));
  ASSERT_TRUE(pulled.WaitForEvent("exit"));
  ASSERT_TRUE(WaitUntil([&] { return !std::filesystem::exists(usb1); }));
  // The pulled board's link dangles: gone, not updated again. A board plugged
  // in after it is updated only once the station has looked since.
  std::string usb3 = links.Plug("usb3", later.Port());
  ASSERT_TRUE(WaitUntil([&] { return Out().size() == 4; }));
  station->Signal(SIGINT);
  ASSERT_EQ(station->Wait(kPromptly), 4);

  std::vector<std::string> out = Out();
  ASSERT_EQ(out.size(), 5u);
  std::sort(out.begin() + 1, out.begin() + 3);
  auto result = [&](std::size_t i) { return out[i].substr(0, out[i].find("  (")); };
  EXPECT_EQ(result(0), usb0 + ": ERROR:4 No correct answer device!");
  EXPECT_EQ(result(1), usb1 + ": ERROR:3 Device does not respond!");
  EXPECT_EQ(result(2), usb2 + ": Device update!");
  EXPECT_EQ(result(3), usb3 + ": Device update!");
  EXPECT_EQ(out[4], "2 updated, 2 failed");
  EXPECT_TRUE(good.Log() == firmware);
  EXPECT_EQ(Updates(pulled), 0);
}

TEST_F(Watch, AnInterruptDuringARunStopsItAndEndsWith130) {
  UseBody(30000);  // five seconds at the line's pace
  PtyDevice& board = Board({"--pace-baud", "57600"});
  Start({"--present"});
  links.Plug("usb0", board.Port());
  ASSERT_TRUE(board.WaitForEvent("body 1024"));
  station->Signal(SIGINT);
  EXPECT_EQ(station->Wait(kPromptly), 130);
  EXPECT_EQ(LinesOf(ReadFile(folder / "err")), std::vector<std::string>{"fwupload: interrupted"});
}

TEST_F(Watch, PortsOfTheStartAndABoardBackWithinTheRebootWindowAreLeftAlone) {
  PtyDevice& onBench = Board();
  PtyDevice& rebooting = Board();
  std::string usb0 = links.Plug("usb0", onBench.Port());
  Start({"--reboot-window", "600"});  // however long the machine takes
  ASSERT_TRUE(Shows(usb0 + ": appeared, left alone: present at start"));
  std::string usb1 = links.Plug("usb1", rebooting.Port());
  ASSERT_TRUE(Shows(usb1 + ": Device update!  (1 updated, 0 failed)"));
  links.Unplug("usb1");
  ASSERT_TRUE(Shows(usb1 + ": gone"));
  links.Plug("usb1", rebooting.Port());
  ASSERT_TRUE(Shows(usb1 + ": appeared, left alone: taken for the board updated at its place, rebooting"));
  station->Signal(SIGINT);
  EXPECT_EQ(station->Wait(kPromptly), 0);
  EXPECT_EQ(Out().back(), "1 updated, 0 failed");
  EXPECT_EQ(Updates(onBench), 0);
  EXPECT_EQ(Updates(rebooting), 1);
}

TEST_F(Watch, APortThatCannotBeOpenedYetWhenItAppearsIsUpdatedOnceItCan) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may open a line another holds for itself alone, to give it back";
  PtyDevice& board = Board();
  // Another program has taken the line for itself alone (TIOCEXCL, which
  // outlasts its descriptor): the station's open is refused until it is given
  // back.
  auto exclusive = [&](unsigned long request) {
    int fd = open(board.Port().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    bool done = fd >= 0 && ioctl(fd, request) == 0;
    close(fd);
    return done;
  };
  ASSERT_TRUE(exclusive(TIOCEXCL));
  Start({"--present", "--count", "1"});
  std::string usb0 = links.Plug("usb0", board.Port());
  ASSERT_TRUE(Shows(usb0 + ": appeared, updating"));
  // The test's own open, then one of the station's that was refused.
  ASSERT_TRUE(board.WaitForEvent("open 2"));
  EXPECT_EQ(board.LastEvent("header "), "") << "nothing is sent while the open is refused";
  ASSERT_TRUE(exclusive(TIOCNXCL));
  EXPECT_EQ(station->Wait(), 0);
  EXPECT_EQ(Out().back(), "1 updated, 0 failed");
  EXPECT_TRUE(board.Log() == firmware);
}

// Output that is stuck from its first line on holds up neither finding a
// board nor its run; what was held back comes once the reader reads.
TEST_F(Watch, AStoppedReaderDelaysNoBoardAndAPortThatStaysHeldSaysWhy) {
  UseBody(6000);
  PtyDevice& board = Board({"--pace-baud", "57600"});
  PtyDevice& held = Board();
  int holding = open(held.Port().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holding, 0);
  OutputPipe pipe(true);
  std::string err = folder / "err";
  station = std::make_unique<Child>(
      FWUPLOAD, std::vector<std::string>{"--watch", "--json", "--present", "--count", "2", "-p", links.Pattern(), folder / "fw.bin"},
      [&] {
        int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        return fd >= 0 && dup2(fd, STDERR_FILENO) >= 0 && pipe.BecomeStandardOutput();
      });
  pipe.CloseWriteEnd();
  std::string usb0 = links.Plug("usb0", board.Port());
  ASSERT_TRUE(board.WaitForEventStarting("done "));
  std::string usb1 = links.Plug("usb1", held.Port());

  std::map<std::string, nlohmann::json> results;
  for (const std::string& line : LinesOf(pipe.ReadToEnd())) {
    auto event = nlohmann::json::parse(line);
    if (event["event"] == "result") results[event["port"]] = event;
  }
  EXPECT_EQ(station->Wait(), 2);
  close(holding);
  EXPECT_EQ(results[usb0]["outcome"], 0);
  EXPECT_EQ(results[usb1]["outcome"], 2);
  EXPECT_EQ(results[usb1]["reason"].get<std::string>().rfind("in use by ", 0), 0u) << results[usb1];
  EXPECT_EQ(results[usb1]["updated"], 1);
  EXPECT_EQ(results[usb1]["failed"], 1);
  EXPECT_TRUE(board.Log() == firmware);
}

TEST_F(Watch, ABoardWhoseRunHangsDelaysNoBoardPluggedInAfterIt) {
  PtyDevice& stuck = Board({"--pace-baud", "300"});  // a minute for its body
  PtyDevice& good = Board();
  Start({"--quiet", "--present"});
  links.Plug("usb0", stuck.Port());
  ASSERT_TRUE(stuck.WaitForEventStarting("header "));
  std::string usb1 = links.Plug("usb1", good.Port());
  ASSERT_TRUE(Shows(usb1 + ": Device update!  (1 updated, 0 failed)"));
  EXPECT_EQ(stuck.LastEvent("done "), "");
  station->Signal(SIGINT);
  EXPECT_EQ(station->Wait(kPromptly), 130);
}

TEST_F(Watch, InJsonABoardLeftAloneSaysWhyAndOnePulledOutIsGone) {
  PtyDevice& onBench = Board();
  std::string usb0 = links.Plug("usb0", onBench.Port());
  Start({"--json"});
  ASSERT_TRUE(Shows(R"({"port":")" + usb0 + R"(","event":"appeared","update":false,"reason":"present at start"})"));
  links.Unplug("usb0");
  ASSERT_TRUE(Shows(R"({"port":")" + usb0 + R"(","event":"gone"})"));
  station->Signal(SIGINT);
  EXPECT_EQ(station->Wait(kPromptly), 0);
  EXPECT_EQ(Updates(onBench), 0);
}

TEST_F(Watch, MisusesAreUsageErrors) {
  for (const std::vector<std::string>& misuse : std::vector<std::vector<std::string>>{
           {"--watch"}, {"--watch", "--count", "0", "fw.bin"}, {"--watch", "--list", "fw.bin"},
           {"--count", "2", "-p", "ttyFWU0", "fw.bin"}, {"--present", "-p", "ttyFWU0", "fw.bin"}}) {
    Child misused(FWUPLOAD, misuse, folder / "out", folder / "err");
    EXPECT_EQ(misused.Wait(), 64) << misuse.back();
    EXPECT_TRUE(Out().empty());
  }
}

}  // namespace
