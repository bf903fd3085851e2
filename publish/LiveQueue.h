// The live states of ports waiting to go to the broker, oldest first, at
// most kLiveQueueSize of them. When it is full, the oldest progress of any
// port makes room; a state that is not progress (appeared, a result, a port
// gone) goes only when nothing but such states is left.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace fwu::publish {

inline constexpr std::size_t kLiveQueueSize = 512;

struct LiveState {
  std::string port;     // the port's own name
  std::string payload;  // empty: the port has gone, its topic is cleared
  bool progress = false;
};

class LiveQueue {
 public:
  void Push(LiveState state);
  bool Empty() const { return states_.empty(); }
  LiveState Pop();
  // How many states were dropped to make room, so far.
  std::size_t Dropped() const { return dropped_; }

 private:
  std::deque<LiveState> states_;
  std::size_t dropped_ = 0;
};

}  // namespace fwu::publish
