#include "protocol/Protocol.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace fwu {
namespace {

TEST(Protocol, ProgressTruncatesAndReachesExactlyOneHundredOnTheLastByte) {
  // A 216-byte file: 200 body bytes.
  std::int64_t length = BodyLength(216);
  ASSERT_EQ(length, 200);
  EXPECT_EQ(ProgressPercent(1, length), 0);
  EXPECT_EQ(ProgressPercent(2, length), 1);
  EXPECT_EQ(ProgressPercent(199, length), 99);
  EXPECT_EQ(ProgressPercent(200, length), 100);
  EXPECT_EQ(ProgressPercent(1, 1), 100) << "a single body byte jumps from 0 to 100";
  // Lengths where i * 100 / n in doubles must not round up early.
  for (std::int64_t n : {101, 997, 65536 - 16, 999983}) {
    EXPECT_EQ(ProgressPercent(n - 1, n), 99) << n;
    EXPECT_EQ(ProgressPercent(n, n), 100) << n;
  }
}

TEST(Protocol, ShortFilesHaveNoBody) {
  EXPECT_EQ(BodyLength(16), 0);
  EXPECT_LT(BodyLength(10), 1);
  EXPECT_EQ(BodyLength(-1), -17) << "a missing file sends no body";
}

TEST(Protocol, OnlyOKIsAnAcknowledgement) {
  EXPECT_TRUE(IsAcknowledgement(std::array<std::uint8_t, 2>{0x4F, 0x4B}));
  EXPECT_FALSE(IsAcknowledgement(std::array<std::uint8_t, 2>{0x4B, 0x4F}));
  EXPECT_FALSE(IsAcknowledgement(std::array<std::uint8_t, 2>{0x6F, 0x6B}));
  EXPECT_FALSE(IsAcknowledgement(std::array<std::uint8_t, 1>{0x4F}));
}

}  // namespace
}  // namespace fwu
