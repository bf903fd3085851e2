// A window to hold controls, and the control events it has queued.
#pragma once

#include "runtime/control/Control.h"
#include "runtime/window/Window.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <vector>

struct ControlEvent {
  std::int64_t object;
  std::int64_t type;
  bool operator==(const ControlEvent&) const = default;
};

inline void PrintTo(const ControlEvent& event, std::ostream* out) {
  *out << "{object " << event.object << ", type 0x" << std::hex << event.type << std::dec << "}";
}

class ControlTest : public testing::Test {
 protected:
  void SetUp() override {
    window = WindowOpen(-1, 0, 0, 400, 200, L"Control test", 0xC80003, nullptr);
    ASSERT_NE(window, 0);
    Drain();
  }
  void TearDown() override {
    ControlFree(-1);
    WindowClose(window);
    Drain();
  }

  HWND Window() const { return WindowHandle(window); }

  // Serves the thread's messages and takes every queued event; gives the
  // control events among them.
  std::vector<ControlEvent> Drain() {
    std::vector<ControlEvent> events;
    for (int i = 0; i < 10000; ++i) {
      int code = NextEvent(0);
      if (code == 0) break;
      if (code == kControlEvent) events.push_back({CurrentEventObject(), CurrentEventType()});
    }
    return events;
  }

  // Serves messages until a control event of `type` for `object` comes or
  // the time-out passes; gives every control event taken meanwhile.
  std::vector<ControlEvent> DrainUntil(std::int64_t object, std::int64_t type) {
    std::vector<ControlEvent> events;
    WaitUntil([&] {
      for (const ControlEvent& e : Drain()) events.push_back(e);
      for (const ControlEvent& e : events)
        if (e.object == object && e.type == type) return true;
      return false;
    });
    return events;
  }

  static RECT ClientRectIn(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  std::int64_t window = 0;
};
