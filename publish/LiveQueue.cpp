#include "publish/LiveQueue.h"

#include <algorithm>

namespace fwu::publish {

void LiveQueue::Push(LiveState state) {
  if (states_.size() >= kLiveQueueSize) {
    auto oldest = std::find_if(states_.begin(), states_.end(), [](const LiveState& s) { return s.progress; });
    states_.erase(oldest == states_.end() ? states_.begin() : oldest);
    ++dropped_;
  }
  states_.push_back(std::move(state));
}

LiveState LiveQueue::Pop() {
  LiveState state = std::move(states_.front());
  states_.pop_front();
  return state;
}

}  // namespace fwu::publish
