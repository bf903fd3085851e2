// fwupload as scripts run it, against virtual devices on ptys.
#include "cli/Arguments.h"
#include "tests/cli/FwuploadFixture.h"
#include "tests/native/Terminal.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <unistd.h>

#include <map>

using namespace std::chrono_literals;

namespace {

TEST_F(Fwupload, WritesExactlyTheFileAndReportsEachFurtherTenPercent) {
  std::string file = Firmware(5016);
  PtyDevice& device = Device();
  Ran ran = Run({"-p", device.Port(), file});
  EXPECT_EQ(ran.status, 0);
  EXPECT_EQ(device.Log(), firmware);
  ASSERT_EQ(ran.out.size(), 11u);
  EXPECT_EQ(ran.out[0], device.Port() + ": 10% (500/5000 bytes)");
  EXPECT_EQ(ran.out[9], device.Port() + ": 100% (5000/5000 bytes)");
  EXPECT_EQ(ran.out[10], device.Port() + ": Device update!");
}

TEST_F(Fwupload, QuietGoesOnWithEveryPortAndExitsWithTheFirstFailureInTheOrderGiven) {
  std::string file = Firmware(2000);
  PtyDevice& good = Device();
  PtyDevice& wrongFirst = Device({"--first-answer", "4E4F"});
  PtyDevice& wrongSecond = Device({"--second-answer", "4E4F"});
  std::string absent = folder / "absent";
  auto run = Start({"--quiet", "-p", good.Port(), "-p", wrongFirst.Port(), "-p", wrongSecond.Port(), "-p", absent, file});
  Ran ran = Finish(*run);
  EXPECT_EQ(ran.status, 4);
  EXPECT_EQ(ran.out, (std::vector<std::string>{good.Port() + ": Device update!",
                                               wrongFirst.Port() + ": ERROR:4 No correct answer device!",
                                               wrongSecond.Port() + ": ERROR:5 Update wrong!",
                                               absent + ": ERROR:2 Can't open the serial port: " + absent}));
  EXPECT_EQ(good.Log(), firmware);
  EXPECT_EQ(LockFilesOf(run->Pid()), std::vector<std::string>{}) << "a failed run leaves no lock file";
}

TEST_F(Fwupload, AMissingFileOrAFolderIsOutcomeOneForEveryPortWhichItNeverOpens) {
  Firmware(1016);
  PtyDevice& first = Device();
  PtyDevice& second = Device();
  for (const std::string& file : {folder / "absent.bin", folder.Path()}) {
    Ran ran = Run({"--quiet", "-p", first.Port(), "-p", second.Port(), file});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.out, (std::vector<std::string>{first.Port() + ": ERROR:1 Firmware missing!",
                                                 second.Port() + ": ERROR:1 Firmware missing!"}));
  }
  for (PtyDevice* device : {&first, &second}) {
    device->Stop();
    EXPECT_EQ(device->Opens(), 0) << device->Port();
  }
}

TEST_F(Fwupload, FourPortsAtOnceEachGetTheWholeFile) {
  std::string file = Firmware(3000);
  std::vector<std::string> arguments{"--quiet", file};
  for (int i = 0; i < 4; ++i) arguments.insert(arguments.end(), {"--port", Device().Port()});
  Ran ran = Run(arguments);
  EXPECT_EQ(ran.status, 0);
  ASSERT_EQ(ran.out.size(), 4u);
  for (std::size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(ran.out[i], devices[i]->Port() + ": Device update!");
    EXPECT_EQ(devices[i]->Log(), firmware) << devices[i]->Port();
  }
}

TEST_F(Fwupload, AHangUpInTheBodyEndsThatPortWithOutcomeThreeAndTheOthersGoOn) {
  std::string file = Firmware(4000);
  PtyDevice& hanging = Device({"--hang-up-after", "1000"});
  PtyDevice& good = Device();
  Ran ran = Run({"--quiet", "-p", hanging.Port(), "-p", good.Port(), file});
  EXPECT_EQ(ran.status, 3);
  EXPECT_EQ(ran.out, (std::vector<std::string>{hanging.Port() + ": ERROR:3 Device does not respond!",
                                               good.Port() + ": Device update!"}));
  EXPECT_TRUE(hanging.HasEvent("hangup 1000"));
  EXPECT_EQ(good.Log(), firmware);
}

TEST_F(Fwupload, JsonGivesOneParsableObjectPerEvent) {
  std::string file = Firmware(1016);
  PtyDevice& first = Device();
  PtyDevice& second = Device();
  Ran ran = Run({"--json", "-p", first.Port(), "-p", second.Port(), file});
  EXPECT_EQ(ran.status, 0);
  EXPECT_TRUE(ran.err.empty());
  std::map<std::string, std::int64_t> lastPercent;
  std::vector<nlohmann::ordered_json> results;
  for (const std::string& line : ran.out) {
    auto event = nlohmann::ordered_json::parse(line);  // throws, failing the test, unless JSON
    if (event["event"] == "progress") {
      std::vector<std::string> keys;
      for (auto& [key, value] : event.items()) keys.push_back(key);
      EXPECT_EQ(keys, (std::vector<std::string>{"port", "event", "percent", "bytes"}));
      std::int64_t& last = lastPercent.try_emplace(event["port"], -1).first->second;
      EXPECT_GT(event["percent"].get<std::int64_t>(), last) << line;
      last = event["percent"];
    } else {
      results.push_back(event);
    }
  }
  EXPECT_EQ(lastPercent, (std::map<std::string, std::int64_t>{{first.Port(), 100}, {second.Port(), 100}}));
  ASSERT_EQ(results.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    auto& result = results[i];
    EXPECT_EQ(result["port"], devices[i]->Port());
    EXPECT_EQ(result["event"], "result");
    EXPECT_EQ(result["outcome"], 0);
    EXPECT_EQ(result["message"], "Device update!");
    EXPECT_EQ(result["bytes"], 1000);
    EXPECT_GT(result["seconds"].get<double>(), 0.0);
    EXPECT_EQ(result["pace"], "byte");
  }

  // With --quiet, the result objects alone.
  ran = Run({"--json", "--quiet", "-p", first.Port(), "-p", second.Port(), file});
  EXPECT_EQ(ran.status, 0);
  ASSERT_EQ(ran.out.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    auto result = nlohmann::json::parse(ran.out[i]);
    EXPECT_EQ(result["port"], devices[i]->Port());
    EXPECT_EQ(result["event"], "result");
    EXPECT_EQ(result["outcome"], 0);
  }
}

TEST_F(Fwupload, ListAndListJsonNameTheSamePortsInTheSameOrder) {
  Ran plain = Run({"--list"});
  Ran json = Run({"--list", "--json"});
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(json.status, 0);
  EXPECT_TRUE(plain.err.empty() && json.err.empty());
  ASSERT_EQ(json.out.size(), plain.out.size());
  for (std::size_t i = 0; i < plain.out.size(); ++i) {
    auto port = nlohmann::json::parse(json.out[i]);  // throws, failing the test, unless JSON
    EXPECT_EQ(plain.out[i].substr(0, plain.out[i].find("  ")), port["port"]) << json.out[i];
  }
}

TEST_F(Fwupload, OnATerminalTheLineIsRedrawnWhileTheRunGoesOn) {
  std::string file = Firmware(6016);  // about a second at the line's pace
  PtyDevice& device = Device({"--pace-baud", "57600"});
  Terminal terminal;
  Child run(FWUPLOAD, {"-p", device.Port(), file}, terminal.Path(), folder / "run.err");
  ASSERT_EQ(run.Wait(), 0);
  std::string drawn = terminal.Drawn();
  std::size_t redraws = 0;
  for (auto at = drawn.find("\r\x1b[K"); at != std::string::npos; at = drawn.find("\r\x1b[K", at + 1)) ++redraws;
  EXPECT_GE(redraws, 5u) << drawn;
  EXPECT_NE(drawn.find(device.Port() + " [####################]  100%  6000/6000 B"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find(device.Port() + ": Device update!"), std::string::npos) << drawn;
}

// A run that takes a paced device about 10 s: long enough to act on while it
// goes on.
class LongRun : public Fwupload {
 protected:
  void SetUp() override {
    std::string file = Firmware(60000);
    device = &Device({"--pace-baud", "57600"});
    run = Start({"--quiet", "-p", device->Port(), file}, "long");
    ASSERT_TRUE(device->WaitForEvent("body 1024"));
  }
  PtyDevice* device = nullptr;
  std::unique_ptr<Child> run;
};

TEST_F(LongRun, AnotherFwuploadIsRefusedThePortAtOnce) {
  Ran ran = Finish(*Start({"--quiet", "-p", device->Port(), folder / "fw.bin"}), "run", 5s);
  EXPECT_EQ(ran.status, 2);
  EXPECT_EQ(ran.out, std::vector<std::string>{device->Port() + ": ERROR:2 Can't open the serial port: " + device->Port()});
}

class Interrupted : public LongRun, public ::testing::WithParamInterface<int> {};

TEST_P(Interrupted, StopsAtOnceSendingNothingMoreAndLeavingNoLockFile) {
  bool lockable = access("/run/lock", W_OK) == 0;
  EXPECT_EQ(LockFilesOf(run->Pid()).size(), lockable ? 1u : 0u) << "the run holds the port's lock file";
  run->Signal(GetParam());
  Ran ran = Finish(*run, "long", kPromptly);
  EXPECT_EQ(ran.status, 130);
  EXPECT_TRUE(ran.out.empty());
  EXPECT_EQ(LockFilesOf(run->Pid()), std::vector<std::string>{});
  // The device hears no more than the line still held; it never gets the
  // whole body.
  device->Stop();
  EXPECT_FALSE(device->HasEvent("body-end " + std::to_string(firmware.size() - 16)));
  EXPECT_LT(device->Log().size(), firmware.size());
}

INSTANTIATE_TEST_SUITE_P(CtrlCTerminationOrHangUp, Interrupted, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST_F(Fwupload, UsageErrorsGiveTheReasonAndTheUsageOnStandardErrorAndStatus64) {
  const std::vector<std::vector<std::string>> misuses{{},
                                                      {"--port", "ttyS9"},
                                                      {"-p", "ttyFWU0", "-p", "/dev/ttyFWU0", "fw.bin"},
                                                      {"--list", "-p", "ttyFWU0"},
                                                      {"--frobnicate"},
                                                      {"-p", "ttyFWU0", "fw.bin", "more.bin"},
                                                      {"-p"},
                                                      {"--watch", "--no-record", "--publish", "mqtt://h/p", "fw.bin"}};
  for (const auto& arguments : misuses) {
    Ran ran = Run(arguments);
    EXPECT_EQ(ran.status, 64);
    EXPECT_TRUE(ran.out.empty());
    ASSERT_EQ(ran.err.size(), 1 + LinesOf(std::string(fwu::cli::UsageText())).size());  // the reason, then the usage
    EXPECT_EQ(ran.err[0].rfind("fwupload: ", 0), 0u) << ran.err[0];
    EXPECT_EQ(ran.err[1].rfind("usage: fwupload --port PORT", 0), 0u);
  }
}

}  // namespace
