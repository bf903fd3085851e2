// How long a body byte stays pending in the driver after the write's first
// poll, learnt as the body goes.
//
// On a pty the count is 0 the moment a write returns; on a USB adapter a byte
// stays pending until its transfer completes (0.1 to 1 ms), on a UART for
// about a byte time. A run whose clock sleeps between polls sleeps this
// estimate before its second poll of a byte. Each time that was long enough
// the estimate goes down by a sixteenth of what a time it was not raises it,
// so it settles where about one second poll in seventeen comes too early:
// just before the byte's real completion, less the usual lateness of a
// wake-up. The raise is a sixteenth of a byte time, so a UART loses little to
// the overshoot, and doubles with each further early poll in a row, so a line
// of 1 ms is found within a few bytes; once found, it is overshot by no more
// than a UART is.
#pragma once

#include "protocol/Protocol.h"

#include <chrono>

namespace fwu {

class CompletionEstimate {
 public:
  // From the first poll to the second; at most kPollInterval.
  std::chrono::nanoseconds Estimate() const { return estimate_; }
  // What the second poll found: the byte sent, or still pending.
  void Learn(bool sent);

 private:
  // A UART's byte time to begin with: the shortest completion a real line has.
  std::chrono::nanoseconds estimate_ = kByteTime;
  // Second polls in a row that came too early.
  int early_ = 0;
};

}  // namespace fwu
