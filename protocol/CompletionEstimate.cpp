#include "protocol/CompletionEstimate.h"

#include <algorithm>

namespace fwu {
namespace {

constexpr std::chrono::nanoseconds kRaise = kByteTime / 16;
constexpr std::chrono::nanoseconds kLower = kRaise / 16;

}  // namespace

void CompletionEstimate::Learn(bool sent) {
  if (sent) {
    early_ = 0;
    estimate_ = std::max(estimate_ - kLower, std::chrono::nanoseconds::zero());
    return;
  }
  estimate_ = std::min<std::chrono::nanoseconds>(estimate_ + kRaise * (1 << std::min(early_, 6)), kPollInterval);
  ++early_;
}

}  // namespace fwu
