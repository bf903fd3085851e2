// fwupload --pace stream on a model of a USB adapter (preloaded into it): the
// driver queues what is written and the device receives it at the wire's
// pace, as from a real adapter; a pty alone would take the whole body at once.
#include "tests/cli/FwuploadFixture.h"
#include "tests/native/Wait.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <algorithm>
#include <thread>

using namespace std::chrono_literals;

namespace {

class StreamPace : public Fwupload {
 protected:
  void SetUp() override {
#ifndef FWU_ADAPTER_MODEL
    GTEST_SKIP() << "no adapter model in a sanitized tree";
#endif
  }
  // fwupload's arguments after the model's own settings (NAME=VALUE), if any.
  std::unique_ptr<Child> StartModelled(std::vector<std::string> arguments, const std::string& name = "run") {
#ifdef FWU_ADAPTER_MODEL
    auto settings = std::find_if(arguments.begin(), arguments.end(),
                                 [](const std::string& argument) { return argument.find('=') == std::string::npos; });
    arguments.insert(settings, {FWUPLOAD, "--pace", "stream"});
    arguments.insert(arguments.begin(), {"LD_PRELOAD=" FWU_ADAPTER_MODEL, "FWU_MODEL_LATENCY_US=1000"});
#endif
    return std::make_unique<Child>("/usr/bin/env", arguments, folder / (name + ".out"), folder / (name + ".err"));
  }
};

// About a second on the wire: every percentage, each as the wire took it,
// and the pace in the result.
TEST_F(StreamPace, DeliversTheFileExactlyWithProgressAtTheWiresPace) {
  std::string file = Firmware(6016);
  PtyDevice& device = Device();
  auto run = StartModelled({"--json", "-p", device.Port(), file});
  Ran ran = Finish(*run);
  EXPECT_EQ(ran.status, 0);
  EXPECT_EQ(device.Log(), firmware);
  ASSERT_EQ(ran.out.size(), 102u);
  for (std::size_t i = 0; i <= 100; ++i) EXPECT_EQ(nlohmann::json::parse(ran.out[i])["percent"], i);
  auto result = nlohmann::json::parse(ran.out.back());
  EXPECT_EQ(result["outcome"], 0);
  EXPECT_EQ(result["pace"], "stream");
  EXPECT_GT(result["seconds"].get<double>(), 6000 / 5760.0) << "faster than the wire: the run did not wait for it";
}

// Ctrl+C mid-body, on a wire of 100 B/s so that the driver's queue holds
// seconds of it: out within a second, and what the driver still held is
// thrown away, not sent as the port closes.
TEST_F(StreamPace, AnInterruptStopsItWithinASecondAndWhatTheDriverHeldNeverArrives) {
  std::string file = Firmware(60016);
  PtyDevice& device = Device();
  auto run = StartModelled({"FWU_MODEL_BYTES_PER_SECOND=100", "--quiet", "-p", device.Port(), file});
  ASSERT_TRUE(WaitUntil([&] { return device.Log().size() >= 100; }));
  std::size_t atStop = device.Log().size();
  run->Signal(SIGINT);
  Ran ran = Finish(*run, "run", 1s);
  EXPECT_EQ(ran.status, 130);
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(device.Log().size(), atStop + 50) << "the bytes queued at the stop reached the device";
}

// A station at the stream pace: the board that appears gets the whole file.
TEST_F(StreamPace, AStationUpdatesAtTheStreamPaceToo) {
  std::string file = Firmware(3016);
  PtyDevice& device = Device();
  auto run = StartModelled({"--watch", "--present", "--count", "1", "--json", "--quiet", "-p", device.Port(), file});
  Ran ran = Finish(*run);
  EXPECT_EQ(ran.status, 0);
  EXPECT_EQ(device.Log(), firmware);
  ASSERT_FALSE(ran.out.empty());
  EXPECT_EQ(nlohmann::json::parse(ran.out.front())["pace"], "stream");
}

// A device that fails the stream's upload: the reason points at the byte pace.
TEST_F(StreamPace, AWrongSecondAnswerSaysTheDeviceMayNeedTheBytePace) {
  std::string file = Firmware(1016);
  PtyDevice& device = Device({"--second-answer", "4E4F"});
  Ran ran = Finish(*StartModelled({"--quiet", "-p", device.Port(), file}));
  EXPECT_EQ(ran.status, 5);
  ASSERT_EQ(ran.err.size(), 1u);
  EXPECT_NE(ran.err[0].find("may need --pace byte"), std::string::npos) << ran.err[0];
}

}  // namespace
