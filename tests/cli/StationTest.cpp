// The station's decisions, on ports and times the test makes up.
#include "cli/Station.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using fwu::Outcome;
using namespace fwu::cli;

namespace {

SeenPort Port(const std::string& name, const std::string& serial = {}, const std::string& location = {}) {
  return {name, name, serial, {}, location};
}

std::vector<std::string> Started(const StationStep& step) {
  std::vector<std::string> names;
  for (const RunStart& start : step.start) names.push_back(start.name);
  return names;
}

class StationTest : public ::testing::Test {
 protected:
  // Looks at `ports` after `elapsed` more time.
  StationStep Look(const std::vector<SeenPort>& ports, std::chrono::milliseconds elapsed = 250ms) {
    now += elapsed;
    return station.Look(ports, now);
  }
  Station::RunEnd End(const std::string& name, std::optional<Outcome> outcome = Outcome::kSuccess) {
    return station.Ended(name, outcome, now);
  }

  StationTime now{};
  Station station{StationRules{}};
};

TEST_F(StationTest, UpdatesEachAppearanceOnceAndLeavesThePortsOfTheStartAlone) {
  StationStep first = Look({Port("a")});
  ASSERT_EQ(first.appeared.size(), 1u);
  EXPECT_EQ(first.appeared[0].verdict, Verdict::kPresentAtStart);
  EXPECT_TRUE(first.start.empty());

  EXPECT_EQ(Started(Look({Port("a"), Port("b"), Port("c")})), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(End("b"), Station::RunEnd::kTallied);
  EXPECT_EQ(End("c", Outcome::kWrongFirstAnswer), Station::RunEnd::kTallied);
  for (int poll = 0; poll < 20; ++poll) EXPECT_TRUE(Look({Port("a"), Port("b"), Port("c")}).start.empty());

  StationStep unplugged = Look({Port("a")});
  EXPECT_EQ(unplugged.gone, (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(Started(Look({Port("a"), Port("b"), Port("c")}, kRebootWindow)), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(station.Counts().updated, 1);
  EXPECT_EQ(station.Counts().failed, 1);
  EXPECT_EQ(station.ExitStatus(), 4);
}

TEST_F(StationTest, PortsOfTheStartAreUpdatedWhenAskedAndOneDeviceUnderTwoNamesOnce) {
  Station present{StationRules{true, false, std::nullopt}};
  StationStep step = present.Look({{"by-id/x", "dev1", ""}, {"ttyUSB0", "dev1", ""}, Port("ttyUSB1")}, now);
  EXPECT_EQ(Started(step), (std::vector<std::string>{"by-id/x", "ttyUSB1"}));
}

// Between two looks, the board was pulled out and the next plugged in: its
// device's node is new, or the device (a pty's number taken again) is seen
// under another name.
TEST_F(StationTest, ADeviceNodeMadeAnewOrSeenUnderANewNameIsTheNextBoard) {
  Look({});
  EXPECT_EQ(Started(Look({{"ttyUSB0", "dev1", "A1", "inode1"}})), (std::vector<std::string>{"ttyUSB0"}));
  End("dev1");
  EXPECT_TRUE(Look({{"ttyUSB0", "dev1", "A1", "inode1"}}, 5s).start.empty());
  StationStep swapped = Look({{"ttyUSB0", "dev1", "B2", "inode2"}});
  EXPECT_EQ(swapped.gone, (std::vector<std::string>{"ttyUSB0"}));
  EXPECT_EQ(Started(swapped), (std::vector<std::string>{"ttyUSB0"}));
  End("dev1");
  EXPECT_EQ(Started(Look({{"usb7", "dev1", "C3", "inode2"}}, 5s)), (std::vector<std::string>{"usb7"}));
}

// Without a serial number, its place tells a board: its USB location where
// there is one, else its port's name; timed from when it went.
TEST_F(StationTest, ABoardBackAtItsPlaceWithinTheRebootWindowAfterItWentIsTheSameBoard) {
  Look({});
  Look({Port("ACM0", "", "1-1.3")});
  End("ACM0");
  // Back under a new name while its old node is still there, and long after
  // its update: its place tells.
  StationStep renamed = Look({Port("ACM0", "", "1-1.3"), Port("ACM1", "", "1-1.3")}, 1min);
  ASSERT_EQ(renamed.appeared.size(), 1u);
  EXPECT_EQ(renamed.appeared[0].verdict, Verdict::kCameBack);
  Look({}, 1min);
  EXPECT_EQ(Look({Port("ACM2", "", "1-1.3")}, kRebootWindow - 1ms).appeared[0].verdict, Verdict::kCameBack);
  Look({});
  EXPECT_EQ(Started(Look({Port("ACM2", "", "1-1.3")}, kRebootWindow)), (std::vector<std::string>{"ACM2"}));
  // Back after a failed update: a board to update.
  End("ACM2", Outcome::kNoResponse);
  Look({});
  EXPECT_EQ(Started(Look({Port("ACM2", "", "1-1.3")}, 100ms)), (std::vector<std::string>{"ACM2"}));
  // No location: the name.
  End("ACM2", Outcome::kSuccess);
  Look({});
  EXPECT_EQ(Look({Port("a")}).appeared[0].verdict, Verdict::kUpdate);
  Look({});
  EXPECT_EQ(Look({Port("ACM2")}).appeared[0].verdict, Verdict::kCameBack);
}

// Boards of one make often share a number: it is remembered only while the
// board updated with it may be rebooting.
TEST_F(StationTest, AUsbSerialNumberIsTakenForTheSameBoardOnlyWithinTheRebootWindowAfterItWent) {
  Look({});
  Look({Port("ACM0", "0403:6001:0001", "1-1.3")});
  End("ACM0");
  // Another board with that number, at another socket, while the first is there.
  StationStep twin = Look({Port("ACM0", "0403:6001:0001", "1-1.3"), Port("ACM1", "0403:6001:0001", "1-1.4")}, 1min);
  EXPECT_EQ(Started(twin), (std::vector<std::string>{"ACM1"}));
  End("ACM1", Outcome::kNoResponse);
  Look({Port("ACM1", "0403:6001:0001", "1-1.4")});
  StationStep back = Look({Port("ACM1", "0403:6001:0001", "1-1.4"), Port("ACM5", "0403:6001:0001", "1-1.3"),
                           Port("ACM6", "0403:6001:B2", "1-1.3")}, 1s);
  EXPECT_EQ(back.appeared[0].verdict, Verdict::kSerialUpdated);
  EXPECT_EQ(Started(back), (std::vector<std::string>{"ACM6"}));
  Look({});
  EXPECT_EQ(Started(Look({Port("ACM7", "0403:6001:0001", "1-1.3")}, kRebootWindow)), (std::vector<std::string>{"ACM7"}));

  // Asked to update numbers again, and with a window of its own, the place
  // still stops a loop.
  Station again{StationRules{false, true, std::nullopt, 3s}};
  again.Look({}, now);
  again.Look({Port("ACM0", "0403:6001:A1")}, now);
  again.Ended("ACM0", Outcome::kSuccess, now);
  again.Look({}, now);
  EXPECT_EQ(again.Look({Port("ACM0", "0403:6001:A1")}, now + 2s).appeared[0].verdict, Verdict::kCameBack);
  again.Look({}, now + 2s);
  EXPECT_EQ(Started(again.Look({Port("ACM0", "0403:6001:A1")}, now + 5s)), (std::vector<std::string>{"ACM0"}));
}

TEST_F(StationTest, AnOpenRefusedRightAfterTheAppearanceIsTriedAgainForTwoSeconds) {
  Look({});
  Look({Port("a")});
  EXPECT_EQ(End("a", Outcome::kPortUnavailable), Station::RunEnd::kRetrying);
  EXPECT_TRUE(Look({Port("a")}, 50ms).start.empty());
  EXPECT_EQ(Started(Look({Port("a")}, 50ms)), (std::vector<std::string>{"a"}));
  EXPECT_EQ(station.Counts().failed, 0);
  now += 1850ms;
  EXPECT_EQ(End("a", Outcome::kPortUnavailable), Station::RunEnd::kTallied);
  EXPECT_EQ(station.ExitStatus(), 2);
  // A port gone while refused is not waited for.
  Look({Port("b")});
  Look({});
  EXPECT_EQ(End("b", Outcome::kPortUnavailable), Station::RunEnd::kTallied);
}

TEST_F(StationTest, APortBackWhileItsRunEndsIsJudgedOnceTheRunHasEnded) {
  Look({});
  Look({Port("a")});
  Look({});
  EXPECT_TRUE(Look({Port("a")}, 3s).appeared.empty());
  End("a", Outcome::kNoResponse);
  EXPECT_EQ(Started(Look({Port("a")})), (std::vector<std::string>{"a"}));
}

TEST_F(StationTest, ACountStopsStartingUpdatesAndIsDoneOnceTheyHaveEnded) {
  Station counted{StationRules{false, false, 2}};
  counted.Look({}, now);
  StationStep step = counted.Look({Port("a"), Port("b"), Port("c")}, now);
  EXPECT_EQ(Started(step), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(step.appeared[2].verdict, Verdict::kCountReached);
  counted.Ended("a", Outcome::kSuccess, now);
  EXPECT_FALSE(counted.Done());
  EXPECT_EQ(counted.Ended("b", std::nullopt, now), Station::RunEnd::kStopped);
  EXPECT_TRUE(counted.Done());
  EXPECT_EQ(counted.Counts().updated, 1);
  EXPECT_EQ(counted.ExitStatus(), 0);
}

}  // namespace
