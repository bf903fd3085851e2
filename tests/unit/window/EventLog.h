// Test helpers: what the calling thread's queue hands out, and a window of
// the layer that closes when the test ends.
#pragma once

#include "runtime/window/Window.h"

#include <algorithm>
#include <vector>

struct TakenEvent {
  int code;
  std::int64_t object, window, type;
};

// The events of this layer that NextEvent(0) gives until it gives 0; the
// identifiers of platform messages are left out.
inline std::vector<TakenEvent> DrainEvents() {
  std::vector<TakenEvent> taken;
  while (int code = NextEvent(0))
    if (code >= kControlEvent && code <= kSizedEvent)
      taken.push_back({code, CurrentEventObject(), CurrentEventWindow(), CurrentEventType()});
  return taken;
}

inline std::vector<int> CodesOf(const std::vector<TakenEvent>& events, int without = 0) {
  std::vector<int> codes;
  for (const TakenEvent& e : events)
    if (e.code != without) codes.push_back(e.code);
  return codes;
}

inline long CountOf(const std::vector<TakenEvent>& events, int code) {
  return std::count_if(events.begin(), events.end(), [code](const TakenEvent& e) { return e.code == code; });
}

class TestWindow {
 public:
  explicit TestWindow(int width = 400, int height = 200, std::uint32_t flags = 0xC80003)
      : number_(WindowOpen(-1, 0, 0, width, height, L"window test", flags, nullptr)) {}
  ~TestWindow() { WindowClose(number_); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  std::int64_t number() const { return number_; }
  HWND handle() const { return WindowHandle(number_); }
  HWND AddChild(const wchar_t* className, int id, DWORD style = WS_TABSTOP) const {
    return CreateWindowExW(0, className, L"child", WS_CHILD | WS_VISIBLE | style, id * 25, 0, 20, 20, handle(),
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  }

 private:
  std::int64_t number_;
};
