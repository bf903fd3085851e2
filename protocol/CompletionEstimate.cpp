#include "protocol/CompletionEstimate.h"

#include <algorithm>

namespace fwu {
namespace {

constexpr std::chrono::nanoseconds kRaise = kByteTime / 4;
constexpr std::chrono::nanoseconds kLower = kRaise / 16;

}  // namespace

void CompletionEstimate::Learn(bool sent) {
  estimate_ = sent ? std::max(estimate_ - kLower, std::chrono::nanoseconds::zero())
                   : std::min<std::chrono::nanoseconds>(estimate_ + kRaise, kPollInterval);
}

}  // namespace fwu
