// Pieces the files of runtime/window share with each other. Not part of the
// service's interface: everything outside this folder uses Window.h.
#pragma once

#include "runtime/base/UniqueHandle.h"
#include "runtime/registry/ObjectRegistry.h"
#include "runtime/window/Window.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>

// Commands of the accelerator table every window gets: Tab and Shift+Tab.
inline constexpr WORD kTabCommand = 0xFA01;
inline constexpr WORD kShiftTabCommand = 0xFA02;

// One open window. The registry owns it; its brush and accelerator table go
// with it.
struct WindowRecord {
  HWND handle = nullptr;
  UniqueAccelerators accelerators;
  std::int32_t colour = kNoColour;
  UniqueBrush brush;
  bool sized = false;  // minimized or maximized
  bool ready = false;  // WindowOpen has finished: moves and sizes make events
};

ObjectRegistry<WindowRecord>& Windows();

// What WindowOpen's flags ask of the platform window.
struct WindowStyle {
  DWORD style = 0;
  DWORD exStyle = 0;
  bool show = true;
  bool activate = true;
};
WindowStyle WindowStyleFromFlags(std::uint32_t flags);
// The ShowWindow command for a window of `style` that is to be shown.
int ShowCommandOf(const WindowStyle& style);
// Moves `window` to the centre of the screen (kWindowCentreScreen) or of its
// parent or the active window (kWindowCentreParent).
void CentreWindow(HWND window, std::uint32_t flags, HWND parent);

// "WindowClass_<number>", made in place: closing a window (close-all too)
// needs no memory.
struct WindowClassNameText {
  std::array<wchar_t, 40> text{};
  const wchar_t* c_str() const { return text.data(); }
};
WindowClassNameText WindowClassName(std::int64_t number);
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The number stored on `window` itself, or -1 when it carries none.
std::int64_t OwnWindowNumber(HWND window);
void SetOwnWindowNumber(HWND window, std::int64_t number);
// Drops the properties this layer put on `window`.
void RemoveWindowProperties(HWND window);
// The property that remembers the focused window across a deactivation.
void RememberFocus(HWND window, HWND focus);
HWND RememberedFocus(HWND window);

// The accelerator table of the calling thread's active window when that is
// one of ours, else null; `active` receives that window.
HACCEL ActiveAccelerators(HWND* active);

void ShowKeyboardCues(HWND window);
void HideKeyboardCues(HWND window);

// Tab and Shift+Tab over the active window's enabled, visible tab stops.
void FocusNext(bool forward);

// Makes `window` the calling thread's current container; forgets it again
// when it is the container and goes away.
void SetCurrentContainer(HWND window);
void ForgetCurrentContainer(HWND window);

// Offers a control's message to the controls layer's handler.
bool OfferToControlHandler(HWND control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

// Reserves the per-thread slot of the current container (start-up only).
void ContainerSlotReserve();

// Takes the calling thread's oldest queued event and makes it the current
// event; its code, or nothing when the queue is empty.
std::optional<int> TakeQueuedEvent();
// Between these two, the calling thread waits for messages: the platform
// serves sent messages inside that wait and goes on waiting, so an event they
// queue ends the wait with a posted WM_NULL.
void EventWaitBegin();
void EventWaitEnd();
