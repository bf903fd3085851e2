// The upload engine against a scripted device on a simulated clock.
#include "protocol/UploadEngine.h"
#include "tests/protocol/ScriptedDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

using namespace std::chrono_literals;

namespace fwu::testing {
namespace {

const std::vector<std::uint8_t> kOk{0x4F, 0x4B};

std::vector<std::uint8_t> FileOf(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

// What the device must receive for `file`: the header padded to 16 bytes, then
// the body.
std::vector<std::uint8_t> OnTheWire(std::vector<std::uint8_t> file) {
  if (file.size() < kHeaderBytes) file.resize(kHeaderBytes);
  return file;
}

// Past this, a run that should have ended is stopped, so that a fault
// that would loop for ever fails the test instead of hanging it.
constexpr auto kWatchdog = 30s;

class Upload : public ::testing::Test {
 protected:
  Upload() { observer.stopWhen = [this] { return clock.now > kWatchdog; }; }

  // The device answers `first` to the header and `second` once the whole
  // file has come.
  void Answers(std::size_t fileSize, std::vector<std::uint8_t> first = kOk,
               std::vector<std::uint8_t> second = kOk, std::chrono::milliseconds delay = 10ms) {
    line.answers = {{kHeaderBytes, first, delay}, {std::max(kHeaderBytes, fileSize), second, delay}};
  }
  std::optional<Outcome> Run(const std::vector<std::uint8_t>& file) {
    MemoryFirmware firmware(file);
    UploadRun run(line, firmware, clock, observer);
    return run.Run();
  }

  SimulatedClock clock;
  ScriptedLine line{clock};
  RecordingObserver observer;
};

TEST_F(Upload, SendsTheHeaderInOneWriteThenTheBodyAByteAWriteOnlyOnceNothingIsPending) {
  auto file = FileOf(1000);
  Answers(file.size());
  line.pendingPolls = 3;
  EXPECT_EQ(Run(file), Outcome::kSuccess);
  EXPECT_EQ(line.received, file);
  ASSERT_EQ(line.writeSizes.size(), 1u + 984u);
  EXPECT_EQ(line.writeSizes[0], kHeaderBytes);
  EXPECT_TRUE(std::all_of(line.writeSizes.begin() + 1, line.writeSizes.end(), [](auto n) { return n == 1; }));
  EXPECT_EQ(line.writesWhilePending, 0);
  EXPECT_EQ(observer.lastBodyBytes, 984);
}

TEST_F(Upload, EachWrongOrMissingAnswerHasItsOutcome) {
  auto file = FileOf(100);
  Answers(file.size(), {0x4F, 0x4C});
  EXPECT_EQ(Run(file), Outcome::kWrongFirstAnswer);
  EXPECT_EQ(line.received.size(), kHeaderBytes) << "no body after a wrong first answer";

  line = ScriptedLine(clock);
  Answers(file.size(), kOk, {0x00, 0x4B});
  EXPECT_EQ(Run(file), Outcome::kWrongSecondAnswer);

  line = ScriptedLine(clock);
  line.answers = {{kHeaderBytes, kOk}};
  EXPECT_EQ(Run(file), Outcome::kNoResponse);
  EXPECT_EQ(line.received, file);
}

// The device times its answer from the first poll of the reply wait, so an
// answer `d` ms late completes on poll d + 1.
TEST_F(Upload, AReplyWaitEndsOnlyAtExactlyTwoPendingBytesBeforeThe5000thPoll) {
  auto file = FileOf(20);
  struct Case {
    std::vector<std::uint8_t> first;
    std::chrono::milliseconds delay;
    Outcome outcome;
  } cases[] = {
      {{0x4F}, 10ms, Outcome::kNoResponse},
      {{0x4F, 0x4B, 0x00}, 10ms, Outcome::kNoResponse},
      {kOk, 4900ms, Outcome::kSuccess},
      {kOk, 4998ms, Outcome::kSuccess},     // complete on poll 4999
      {kOk, 4999ms, Outcome::kNoResponse},  // complete on poll 5000
  };
  for (const auto& c : cases) {
    clock.now = {};
    line = ScriptedLine(clock);
    Answers(file.size(), c.first, kOk, c.delay);
    EXPECT_EQ(Run(file), c.outcome) << c.first.size() << " bytes after " << c.delay.count() << " ms";
    if (c.outcome == Outcome::kNoResponse) {
      EXPECT_EQ(clock.now, 100ms + 1ms + 5000ms);
    }
  }
}

// Some of it is there at the open, some comes during the settle.
TEST_F(Upload, StaleInputIsDrainedAfterTheSettleInReadsOfAtMost17Bytes) {
  auto file = FileOf(40);
  line.input.assign(1000, 0x4F);
  line.arrivals = {{50ms, std::vector<std::uint8_t>(40, 0x4B)}};
  Answers(file.size());
  EXPECT_EQ(Run(file), Outcome::kSuccess);
  ASSERT_GE(line.readSizes.size(), 2u);
  std::vector<std::size_t> drain(line.readSizes.begin(), line.readSizes.end() - 2);
  EXPECT_TRUE(std::all_of(drain.begin(), drain.end(), [](auto n) { return n <= kExchangeBufferSize; }));
  EXPECT_EQ(std::accumulate(drain.begin(), drain.end(), std::size_t{0}), 1040u);
}

TEST_F(Upload, ProgressRisesTruncatedToExactly100OnTheLastByte) {
  auto file = FileOf(216);
  Answers(file.size());
  EXPECT_EQ(Run(file), Outcome::kSuccess);
  ASSERT_EQ(observer.percents.size(), 200u);
  EXPECT_EQ(observer.percents[0], 0);
  EXPECT_EQ(observer.percents[1], 1);
  EXPECT_EQ(observer.percents[198], 99);
  EXPECT_EQ(observer.percents[199], 100);
}

TEST_F(Upload, ShortFilesSendAZeroPaddedHeaderAndWhatBodyThereIs) {
  for (std::size_t size : {0u, 10u, 16u, 17u}) {
    line = ScriptedLine(clock);
    observer = RecordingObserver();
    auto file = FileOf(size);
    Answers(size);
    EXPECT_EQ(Run(file), Outcome::kSuccess) << size;
    EXPECT_EQ(line.received, OnTheWire(file)) << size;
    EXPECT_EQ(observer.percents, size == 17 ? std::vector<std::int64_t>{100} : std::vector<std::int64_t>{})
        << size;
  }
}

TEST_F(Upload, BytesALineDidNotTakeAreOfferedAgainAndArriveOnce) {
  auto file = FileOf(300);
  Answers(file.size());
  // The header goes 5 bytes at a time; every third write takes nothing.
  line.take = [](std::size_t index, std::size_t offered) -> std::int64_t {
    if (index % 3 == 2) return 0;
    return std::min<std::size_t>(offered, 5);
  };
  EXPECT_EQ(Run(file), Outcome::kSuccess);
  EXPECT_EQ(line.received, file);
}

TEST_F(Upload, ALineThatTakesNothingFor5SecondsOrHangsUpEndsAsNoResponse) {
  auto file = FileOf(100);
  Answers(file.size());
  line.take = [](std::size_t index, std::size_t offered) -> std::int64_t { return index == 0 ? offered : 0; };
  EXPECT_EQ(Run(file), Outcome::kNoResponse);
  EXPECT_EQ(line.received.size(), kHeaderBytes);
  EXPECT_GE(clock.now, 100ms + kLineStall);
  EXPECT_LT(clock.now, 100ms + kLineStall + 100ms);

  clock.now = {};
  line = ScriptedLine(clock);
  Answers(file.size());
  line.take = [](std::size_t index, std::size_t offered) -> std::int64_t { return index < 10 ? offered : -1; };
  EXPECT_EQ(Run(file), Outcome::kNoResponse);
  EXPECT_LT(clock.now, 1s) << "a line that has failed is not waited for";
}

TEST_F(Upload, AReadThatBringsNoBytesIsNoAnswerEvenWithOkStillInTheBuffer) {
  auto file = FileOf(50);
  ExchangeBuffers buffers;
  std::copy(kOk.begin(), kOk.end(), buffers.reply.begin());
  for (int failing : {0, 1}) {
    line = ScriptedLine(clock);
    Answers(file.size());
    line.failingRead = failing;
    MemoryFirmware firmware(file);
    UploadRun run(line, firmware, clock, observer, buffers);
    EXPECT_EQ(run.Run(), Outcome::kNoResponse) << "answer " << failing + 1;
  }
}

TEST_F(Upload, AStopEndsTheRunAtItsNextStepWithNoOutcomeButNotOnceTheLastAnswerIsRead) {
  auto file = FileOf(100);
  Answers(file.size());
  observer.stopAfterProgress = 10;
  EXPECT_EQ(Run(file), std::nullopt);
  EXPECT_EQ(line.received.size(), kHeaderBytes + 10);

  line = ScriptedLine(clock);
  observer = RecordingObserver();
  Answers(file.size());
  observer.stopWhen = [this] { return line.readSizes.size() == 2; };
  EXPECT_EQ(Run(file), Outcome::kSuccess);
}

// A count stuck at 1, or going 3, 2, 3, 2 ..., after the header or from the
// 51st body byte on: the run ends as no response once the line has drained
// nothing for kLineStall, whether the clock sleeps between body polls or not.
TEST_F(Upload, OutputThatNeverDrainsEndsTheRunAtTheStallLimit) {
  auto file = FileOf(200);
  for (bool inBody : {false, true}) {
    for (bool seesaw : {false, true}) {
      for (bool sleeps : {true, false}) {
        clock = SimulatedClock();
        clock.sleeps = sleeps;
        line = ScriptedLine(clock);
        line.callCost = 50us;
        Answers(file.size());
        std::size_t stuckAt = inBody ? kHeaderBytes + 51 : kHeaderBytes;
        line.reportedOutput = [this, stuckAt, seesaw, polls = 0]() mutable -> std::int64_t {
          if (line.received.size() < stuckAt) return 0;
          return seesaw ? 2 + (++polls % 2) : 1;
        };
        EXPECT_EQ(Run(file), Outcome::kNoResponse) << inBody << seesaw << sleeps;
        EXPECT_EQ(line.received.size(), stuckAt);
        auto stuckFor = clock.now - line.writeTimes.back();
        EXPECT_GE(stuckFor, kLineStall);
        EXPECT_LT(stuckFor, kLineStall + 10ms);
      }
    }
  }
}

// Each call failing on its first use, and on a later one (the body's writes,
// its polls right after a write and after a pause, the second answer's wait
// and read): outcome 3 within a millisecond, and the line is not called again.
TEST_F(Upload, AFailedLineEndsTheRunAtOnceWhicheverCallReportsIt) {
  auto file = FileOf(100);
  struct Case {
    LineCall call;
    int from;
    std::chrono::microseconds inFlight = 1ms;
  } cases[] = {{kWrite, 0},        {kWrite, 5},        {kOutputPending, 0}, {kOutputPending, 5},
               {kOutputPending, 5, 0us}, {kInputPending, 0}, {kInputPending, 5}, {kInputPending, 20}, {kRead, 1}};
  for (const auto& c : cases) {
    clock = SimulatedClock();
    line = ScriptedLine(clock);
    line.inFlight = c.inFlight;
    line.callCost = 1us;
    Answers(file.size());
    line.failFrom[c.call] = c.from;
    EXPECT_EQ(Run(file), Outcome::kNoResponse) << c.call << " " << c.from;
    ASSERT_TRUE(line.failedAt) << c.call << " " << c.from;
    EXPECT_LE(clock.now - *line.failedAt, 1ms) << c.call << " " << c.from;
    EXPECT_EQ(line.callsAfterFailure, 0) << c.call << " " << c.from;
  }
}

// Body rate in bytes a second, from the first body write to the last.
double BodyRate(const ScriptedLine& line) {
  std::chrono::duration<double> span = line.writeTimes.back() - line.writeTimes[1];
  return static_cast<double>(line.writeTimes.size() - 2) / span.count();
}

// A USB adapter holds each write for 1 ms: with a clock that sleeps, about two
// polls a byte and 90 % of the 1000 bytes a second the line allows; with one
// that does not (the window), the same pace. Never a write while a byte is
// pending. A line that reports 0 at once is never waited for in the body.
TEST_F(Upload, TheBodyKeepsAUsbAdaptersPaceWithFewPollsAndAPtysWithNoWait) {
  constexpr int kBody = 1000;
  auto file = FileOf(kBody + kHeaderBytes);
  for (bool sleeps : {true, false}) {
    clock = SimulatedClock();
    clock.sleeps = sleeps;
    clock.wakeLatency = 60us;
    line = ScriptedLine(clock);
    line.inFlight = 1ms;
    line.callCost = 2us;
    Answers(file.size());
    ASSERT_EQ(Run(file), Outcome::kSuccess);
    EXPECT_EQ(line.writesWhilePending, 0);
    EXPECT_GE(BodyRate(line), 900) << sleeps;
    if (sleeps) {
      EXPECT_LE(line.Calls(kOutputPending), 2.2 * kBody);
    }
  }

  clock = SimulatedClock();
  line = ScriptedLine(clock);
  Answers(file.size());
  ASSERT_EQ(Run(file), Outcome::kSuccess);
  auto [first, last] = std::pair(line.writeTimes[1], line.writeTimes.back());
  EXPECT_TRUE(std::none_of(clock.waits.begin(), clock.waits.end(), [&](Time t) { return t >= first && t < last; }));
}

}  // namespace
}  // namespace fwu::testing
