// Reading what the calling thread's event queue hands out.
#pragma once

#include "runtime/window/Window.h"

#include <algorithm>
#include <cstdint>
#include <vector>

struct TakenEvent {
  int code;
  std::int64_t object;
  std::int64_t window;
  std::int64_t type;
};

// Everything NextEvent(0) gives until it gives 0; platform message
// identifiers included.
inline std::vector<TakenEvent> DrainEvents() {
  std::vector<TakenEvent> taken;
  while (int code = NextEvent(0)) taken.push_back({code, CurrentEventObject(), CurrentEventWindow(), CurrentEventType()});
  return taken;
}

// The events of this layer's own codes only, in the order taken.
inline std::vector<TakenEvent> DrainLayerEvents() {
  std::vector<TakenEvent> taken = DrainEvents();
  std::erase_if(taken, [](const TakenEvent& e) { return e.code < kControlEvent || e.code > kSizedEvent; });
  return taken;
}

inline std::vector<int> CodesOf(const std::vector<TakenEvent>& events) {
  std::vector<int> codes;
  for (const TakenEvent& e : events) codes.push_back(e.code);
  return codes;
}

inline long CountOf(const std::vector<TakenEvent>& events, int code) {
  return std::count_if(events.begin(), events.end(), [code](const TakenEvent& e) { return e.code == code; });
}
