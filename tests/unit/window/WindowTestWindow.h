// A window of the layer for one test, closed when the test ends.
#pragma once

#include "runtime/window/Window.h"
#include "tests/unit/window/EventLog.h"

#include <cstdint>

inline constexpr std::uint32_t kUpdaterFlags = 0xC80003;

class TestWindow {
 public:
  explicit TestWindow(int width = 400, int height = 200, std::uint32_t flags = kUpdaterFlags,
                      const wchar_t* title = L"window test")
      : number_(WindowOpen(-1, 0, 0, width, height, title, flags, nullptr)) {}
  ~TestWindow() {
    WindowClose(number_);
    DrainEvents();
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  std::int64_t number() const { return number_; }
  HWND handle() const { return WindowHandle(number_); }

  // A platform child window of the given class and identifier.
  HWND AddChild(const wchar_t* className, int id, DWORD style = WS_TABSTOP, int x = 0) const {
    return CreateWindowExW(0, className, L"child", WS_CHILD | WS_VISIBLE | style, x, 0, 20, 20, handle(),
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  }

 private:
  std::int64_t number_;
};
