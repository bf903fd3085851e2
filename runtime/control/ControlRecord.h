// The control record, the kind tables and the creation steps the kinds share.
// Used by the files of this folder only; Control.h is the service's interface.
//
// Threads: records live in the control registry and are read and written
// under its lock. The native window, its procedures and every per-kind field
// that is not atomic belong to the thread that created the control (the main
// thread); other threads reach the window only through messages. A caller
// takes a ControlRef under the lock and works on it after dropping the lock,
// so the per-kind state is shared and outlives a control freed meanwhile.
#pragma once

#include "runtime/base/UniqueHandle.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <variant>

struct PictureState {
  HANDLE image = nullptr;        // bitmap or icon shown, not owned
  UniqueBitmap alphaCopy;        // premultiplied copy of a 32-bit image, painted with AlphaBlend
  bool leftDown = false;
  POINTS press{};                // where the left button went down
  bool rightDoubleClicked = false;  // the next right button up ends a double click
};

struct DropDownState {
  std::atomic<bool> reportingSelection{false};  // set while a selection change is queued
};

struct TextFieldState {
  std::int32_t background = -1;  // colour values, -1 for the platform's
  std::int32_t text = -1;
  UniqueBrush backgroundBrush;
};

struct ProgressState {
  std::atomic<bool> indeterminate{false};
};

using ControlState = std::variant<std::monostate, PictureState, DropDownState, TextFieldState, ProgressState>;

// A new control's state of the kind's type; null when no memory could be had.
template <class State = std::monostate>
std::shared_ptr<ControlState> MakeControlState() noexcept {
  try {
    return std::make_shared<ControlState>(std::in_place_type<State>);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

struct ControlKind;

// What an operation needs of a control, taken under the registry lock.
struct ControlRef {
  std::int64_t number = 0;
  HWND window = nullptr;
  const ControlKind* kind = nullptr;
  std::shared_ptr<ControlState> state;

  template <class State>
  State& As() const {
    return std::get<State>(*state);
  }
};

// A kind's entries; an empty entry means the kind does not take part in that
// operation.
struct ControlKind {
  int identifier;
  // Offered the messages the window layer forwards for the control; true
  // when taken, with *result set.
  bool (*message)(const ControlRef&, UINT, WPARAM, LPARAM, LRESULT* result);
  std::int32_t (*getState)(const ControlRef&);
  void (*setState)(const ControlRef&, std::int32_t value);
  std::wstring (*getText)(const ControlRef&);
  void (*setText)(const ControlRef&, const wchar_t* text);
  std::int64_t (*addItem)(const ControlRef&, int position, const wchar_t* text);
};

struct ControlRecord {
  HWND handle = nullptr;  // not owned: the window is destroyed with its parent or by ControlFree
  const ControlKind* kind = nullptr;
  WNDPROC previous = nullptr;  // the procedure the control procedure stands in front of
  std::shared_ptr<ControlState> state;
};

// The platform window of a new control, before it is registered.
struct ControlWindow {
  const wchar_t* className;
  DWORD style;
  DWORD extendedStyle;
  const wchar_t* text;
  int creationHeight;
  std::intptr_t childIdentifier;
};

// Makes the window in the calling thread's current container; null on failure.
HWND ControlWindowCreate(const ControlWindow& design, int x, int y, int width);
// Records the window under `number` and puts the control procedure in front
// of it. Destroys the window and gives nothing when the number cannot hold a
// control or `state` is null.
std::optional<ControlRef> ControlRegister(std::int64_t number, HWND window, const ControlKind& kind,
                                          std::shared_ptr<ControlState> state);
// What a creation returns for the number asked.
std::int64_t ControlCreationResult(std::int64_t numberAsked, const ControlRef& control);

std::optional<ControlRef> ControlLookup(std::int64_t number);
// The control a native window is, when its identifier still matches its
// number.
std::optional<ControlRef> ControlOfWindow(HWND window);
// The procedure the control procedure forwards to; null when the window is
// not a live control.
WNDPROC ControlPreviousProcedure(HWND window);
// Forgets the control of `window` when it is still the one recorded.
void ControlForget(HWND window);

// The control procedure, standing in front of every control's procedure.
LRESULT CALLBACK ControlProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Queues a control event of the control's own for its number and window.
void ControlEventPush(const ControlRef& control, std::int64_t type);
// The window text, built in the calling thread's text area.
std::wstring WindowTextOf(HWND window);
