// The body's two paces on a line with a real output queue (WireLine).
#include "protocol/UploadEngine.h"
#include "tests/protocol/WireLine.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace fwu::testing {
namespace {

const std::vector<std::uint8_t> kOk{0x4F, 0x4B};
constexpr double kWireRate = 5760;

std::vector<std::uint8_t> FileOf(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + 5);
  return bytes;
}

class Paced : public ::testing::Test {
 protected:
  Paced() { observer.stopWhen = [this] { return clock.now > 60s; }; }

  std::optional<Outcome> Run(const std::vector<std::uint8_t>& file, Pace pace) {
    line.answers = {{kHeaderBytes, kOk, 10ms}, {file.size(), kOk, 10ms}};
    MemoryFirmware firmware(file);
    return UploadRun(line, firmware, clock, observer, pace).Run();
  }
  // Body bytes a second, from the first body write until the last byte left
  // the driver.
  double BodyRate(std::size_t body) const {
    std::chrono::duration<double> span = line.arrivals.back() - line.writeTimes[1];
    return static_cast<double>(body) / span.count();
  }

  SimulatedClock clock;
  WireLine line{clock};
  RecordingObserver observer;
};

// Also when each write is taken only in part; the second answer's wait
// begins only once the driver holds nothing, and the driver never holds more
// than the run's bound.
TEST_F(Paced, StreamDeliversTheFileExactlyAtTheWiresRateOnAUsbAdapter) {
  constexpr std::size_t kBody = 20000;
  auto file = FileOf(kHeaderBytes + kBody);
  for (bool partial : {false, true}) {
    clock = SimulatedClock();
    clock.wakeLatency = 60us;
    line = WireLine(clock);
    observer.percents.clear();
    if (partial) line.take = [](std::size_t offered) { return std::min<std::int64_t>(37, static_cast<std::int64_t>(offered)); };
    ASSERT_EQ(Run(file, Pace::kStream), Outcome::kSuccess) << partial;
    EXPECT_EQ(line.received, file) << partial;
    EXPECT_GE(BodyRate(kBody), 0.95 * kWireRate) << partial;
    EXPECT_LE(line.mostPending, kStreamQueueBytes) << partial;
    ASSERT_TRUE(line.firstInputPollAfterWrites);
    EXPECT_GE(*line.firstInputPollAfterWrites, line.arrivals.back()) << partial;
    EXPECT_EQ(observer.percents.size(), kBody);
    EXPECT_EQ(observer.lastBodyBytes, static_cast<std::int64_t>(kBody));
  }
}

// A driver that counts more than it holds (or than was written), by turns.
TEST_F(Paced, StreamProgressNeverGoesBackNorPastWhatWasWritten) {
  auto file = FileOf(kHeaderBytes + 3000);
  line.reportedOutput = [polls = 0](std::int64_t pending) mutable {
    return pending == 0 ? 0 : pending + (++polls % 3) * 700;
  };
  bool pastWritten = false;
  observer.stopWhen = [&] {
    pastWritten = pastWritten || (observer.lastBodyBytes > 0 && observer.lastBodyBytes + std::int64_t{kHeaderBytes} > line.written);
    return clock.now > 60s;
  };
  ASSERT_EQ(Run(file, Pace::kStream), Outcome::kSuccess);
  EXPECT_FALSE(pastWritten);
  EXPECT_TRUE(std::is_sorted(observer.percents.begin(), observer.percents.end()));
  EXPECT_EQ(observer.percents.back(), 100);
}

// A stop mid-body: no write after it, and what the driver held is thrown
// away, so nothing reaches the device later. A line that fails mid-body ends
// the run at once; one whose count stays above 0 ends it at the stall limit.
TEST_F(Paced, StreamEndsAtAStopAFailedLineOrAStalledCount) {
  auto file = FileOf(kHeaderBytes + 5000);
  std::optional<Time> stoppedAt;
  observer.stopWhen = [&] {
    if (!stoppedAt && observer.lastBodyBytes >= 1000) stoppedAt = clock.now;
    return stoppedAt.has_value();
  };
  EXPECT_EQ(Run(file, Pace::kStream), std::nullopt);
  ASSERT_TRUE(stoppedAt);
  EXPECT_LE(line.writeTimes.back(), *stoppedAt);
  EXPECT_EQ(line.discards, 1);
  EXPECT_LE(line.arrivals.back(), *stoppedAt);
  EXPECT_LT(line.received.size(), file.size());

  clock = SimulatedClock();
  line = WireLine(clock);
  observer = RecordingObserver();
  line.failFromWrite = 5;
  EXPECT_EQ(Run(file, Pace::kStream), Outcome::kNoResponse);
  ASSERT_TRUE(line.failedAt);
  EXPECT_LE(clock.now - *line.failedAt, 1ms);
  EXPECT_EQ(line.callsAfterFailure, 0);
  EXPECT_EQ(line.discards, 0);

  for (std::size_t stuckAt : {std::size_t{2000}, file.size() - 3}) {
    clock = SimulatedClock();
    line = WireLine(clock);
    line.haltAfter = stuckAt;
    EXPECT_EQ(Run(file, Pace::kStream), Outcome::kNoResponse) << stuckAt;
    EXPECT_EQ(line.received.size(), stuckAt);
    auto stuckFor = clock.now - line.arrivals.back();
    EXPECT_GE(stuckFor, kLineStall) << stuckAt;
    EXPECT_LT(stuckFor, kLineStall + 100ms) << stuckAt;
  }
}

// A UART's byte stays pending for a byte time: the byte pace keeps close to
// the wire, and every pause between polls is more than 0 and at most 1 ms.
TEST_F(Paced, ByteKeepsAUartsPaceWithPausesUpToAMillisecond) {
  constexpr std::size_t kBody = 3000;
  auto file = FileOf(kHeaderBytes + kBody);
  clock.wakeLatency = 5us;
  line.inFlight = kByteTime;
  ASSERT_EQ(Run(file, Pace::kByte), Outcome::kSuccess);
  EXPECT_EQ(line.received, file);
  EXPECT_GE(BodyRate(kBody), 0.9 * kWireRate);
  EXPECT_FALSE(clock.pauses.empty());
  EXPECT_TRUE(std::all_of(clock.pauses.begin(), clock.pauses.end(),
                          [](auto pause) { return pause > 0ns && pause <= kPollInterval; }));
}

}  // namespace
}  // namespace fwu::testing
