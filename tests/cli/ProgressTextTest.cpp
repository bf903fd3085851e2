// The live line's figures: rate and time left, which no end-to-end test sees
// (they show only on a terminal).
#include "cli/ProgressText.h"

#include <gtest/gtest.h>

namespace fwu::cli {
namespace {

using namespace std::chrono_literals;

TEST(LiveLine, ShowsBarPercentBytesRateAndTimeLeft) {
  // 5761 bytes in 1 s: 5760 after the first, so 5.76 kB/s; 11520 to go: 2 s.
  BodyProgress progress{.percent = 33, .bytes = 5761, .total = 17281, .elapsed = 1s};
  EXPECT_EQ(LiveLine("/dev/ttyUSB0", progress),
            "/dev/ttyUSB0 [######--------------]   33%  5761/17281 B  5.8 kB/s  0:02 left");
}

TEST(LiveLine, ShowsNoRateBeforeTheBodyHasMoved) {
  BodyProgress waiting{.percent = -1, .bytes = 0, .total = 1000, .elapsed = 0s};
  EXPECT_EQ(LiveLine("COM3", waiting), "COM3 [--------------------]    0%  0/1000 B  -- kB/s  --:-- left");
  BodyProgress oneByte{.percent = 0, .bytes = 1, .total = 1000, .elapsed = 0s};
  EXPECT_FALSE(TimeLeft(oneByte));
}

TEST(LiveLine, FitsTheWidthByShorteningThePortFromItsStartThenDroppingTheBar) {
  const std::string port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5ABC-if00-port0";
  BodyProgress progress{.percent = 50, .bytes = 500, .total = 1000, .elapsed = 0s, .awaiting = 3.7s};
  EXPECT_EQ(LiveLine(port, progress, 90),
            "...A10K5ABC-if00-port0 [##########----------]   50%  500/1000 B  waiting for the device 3s");
  EXPECT_EQ(LiveLine(port, progress, 56), "...00-port0   50%  500/1000 B  waiting for the device 3s");
}

}  // namespace
}  // namespace fwu::cli
