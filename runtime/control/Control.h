// Controls: numbered child windows of a window (runtime/window) that the
// program creates and works with through their numbers.
//
// Five kinds exist: the picture control ("STATIC" with its own painter), the
// drop-down list ("ComboBox"), the text field ("Edit"), the push button
// ("Button") and the progress bar ("msctls_progress32"). Each is placed into
// the calling thread's current container with its font. Notifications become
// control events (kControlEvent, object = the control number) whose type is
// one of the kControl* types below or, for a text field, the notification code.
//
// Return rules: a creation gives the control's number when it was asked for
// with -1, else the native window handle, and 0 when no control was made.
// Every other operation on a number that names no live control does nothing,
// or gives 0 or the empty text. Any thread may call any operation except the
// creations, which belong to the thread that owns the container window; a
// call from another thread completes when that thread next serves messages.
// When memory runs out a creation gives 0 and a text the empty text. Nothing
// here shows messages, keeps error codes or throws.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Event types of control events.
inline constexpr std::int64_t kControlLeftClick = 0;
inline constexpr std::int64_t kControlRightClick = 1;
inline constexpr std::int64_t kControlLeftDoubleClick = 2;
inline constexpr std::int64_t kControlRightDoubleClick = 3;
inline constexpr std::int64_t kControlChange = 0x300;
inline constexpr std::int64_t kControlFocusGained = 0x36B0;
inline constexpr std::int64_t kControlFocusLost = 0x36B1;
inline constexpr std::int64_t kControlDragStart = 0x36B2;

// Creation flags.
// Picture control: a sunken edge (WS_EX_CLIENTEDGE); without it, 0x1 gives a
// raised frame (WS_DLGFRAME).
inline constexpr std::uint32_t kPictureSunken = 0x200;
inline constexpr std::uint32_t kPictureRaised = 0x1;
// Text field: no sunken edge.
inline constexpr std::uint32_t kTextFieldFlat = 0x20000;

void ControlStartup();
// Frees every control.
void ControlShutdown();

// number: a control number from 0 up, or -1 for a new identifier. Positions
// and sizes are pixels in the container's client area.
//
// The picture control shows `image` (a bitmap or an icon, not owned; null
// for none) at its own size and takes that size.
std::int64_t PictureControlCreate(std::int64_t number, int x, int y, int width, int height, HANDLE image,
                                  std::uint32_t flags);
// A list that opens below a box of exactly `height` pixels; no item selected.
std::int64_t DropDownListCreate(std::int64_t number, int x, int y, int width, int height,
                                std::uint32_t flags);
std::int64_t TextFieldCreate(std::int64_t number, int x, int y, int width, int height, const wchar_t* text,
                             std::uint32_t flags);
std::int64_t PushButtonCreate(std::int64_t number, int x, int y, int width, int height, const wchar_t* text,
                              std::uint32_t flags);
std::int64_t ProgressBarCreate(std::int64_t number, int x, int y, int width, int height, int minimum,
                               int maximum, std::uint32_t flags);

// Drop-down list: inserts `text` at `position`, -1 appending; below -1 adds
// nothing. Gives 1 for a drop-down list, 0 for kinds without items.
std::int64_t ControlAddItem(std::int64_t number, int position, const wchar_t* text);
// Progress bar: the position (clamped by the bar to its range), -1 for the
// moving indeterminate display. Drop-down list: the selected index. Push
// button: checked when non-zero. Events the call raises on the calling thread
// are not queued.
void ControlSetState(std::int64_t number, std::int32_t value);
// Progress bar: the position, -1 while the indeterminate display moves. 0 for
// the other kinds.
std::int32_t ControlGetState(std::int64_t number);
// Non-zero disables, 0 enables.
void ControlDisable(std::int64_t number, int flag);
// The window text; for a drop-down list the selected item's text (empty while
// none is selected). Built in the calling thread's text area.
std::wstring ControlGetText(std::int64_t number);
// Replaces the text (null counts as empty) without queueing the change events
// it raises on the calling thread. A drop-down list selects the item of that
// exact text, or nothing for the empty text.
void ControlSetText(std::int64_t number, const wchar_t* text);
// Text field colours (colour values, -1 for the platform's). Like the
// creations, only on the thread that owns the container.
void TextFieldSetColours(std::int64_t number, std::int32_t text, std::int32_t background);
// Destroys the control; -1 destroys every control.
void ControlFree(std::int64_t number);

// The native window of a live control, or null.
HWND ControlHandle(std::int64_t number);
