// The engine's clock for real runs: the thread sleeps, time is the steady
// clock's.
#pragma once

#include "protocol/UploadEngine.h"

namespace fwu::cli {

class SteadyClock : public Clock {
 public:
  void Delay(std::chrono::milliseconds duration) override;
  std::chrono::steady_clock::duration Now() override;
};

}  // namespace fwu::cli
