// The run clock's real pause: about the time asked for, in the unit asked
// for (bounds loose enough for a loaded machine; a pause read in the wrong
// unit takes a thousand times as long, or nothing).
#include "cli/Platform.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(RunClock, APauseBetweenPollsLastsAboutTheTimeAskedFor) {
  auto clock = fwu::cli::MakeRunClock();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i) clock->PauseBetweenPolls(300us);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 3ms);
  EXPECT_LT(took, 1s);
}
