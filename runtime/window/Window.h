// Windows and their events.
//
// WindowOpen makes a top-level window from a position, a client size, a title
// and flags; its window procedure turns platform messages into events queued
// per thread; NextEvent hands them out one at a time, and the CurrentEvent*
// queries tell what the last one was about. Controls (runtime/control) live in
// such windows and reach the window procedure through a registered handler.
//
// Return rules: WindowOpen gives 0 when no window was made. Every operation on
// a number that names no window does nothing, or gives 0. NextEvent gives 0
// when there is nothing. When memory runs out WindowOpen gives 0 and an event
// is dropped. Nothing here shows messages, keeps error codes or throws.
#pragma once

#include <windows.h>

#include <cstdint>

// Event codes.
inline constexpr int kControlEvent = 0x332C;
inline constexpr int kMenuEvent = 0x332D;
inline constexpr int kActivatedEvent = 0x3330;
inline constexpr int kMinimizedEvent = 0x3333;
inline constexpr int kMaximizedEvent = 0x3334;
inline constexpr int kRestoredEvent = 0x3335;
inline constexpr int kTimerEvent = 0x3336;
inline constexpr int kRightClickEvent = 0x3337;
inline constexpr int kLeftClickEvent = 0x3338;
inline constexpr int kLeftDoubleClickEvent = 0x3339;
inline constexpr int kDeactivatedEvent = 0x333A;
inline constexpr int kRepaintEvent = 0x333B;
inline constexpr int kCloseEvent = 0x333C;
inline constexpr int kMovedEvent = 0x333D;
inline constexpr int kSizedEvent = 0x333E;

// Event flag bit 0: queue the event even while events are suppressed.
inline constexpr std::uint32_t kEventUnsuppressible = 0x1;

// Window flags of WindowOpen.
inline constexpr std::uint32_t kWindowCentreScreen = 0x1;
inline constexpr std::uint32_t kWindowCentreParent = 0x2;
inline constexpr std::uint32_t kWindowTool = 0x4;
inline constexpr std::uint32_t kWindowNoContainer = 0x8;
inline constexpr std::uint32_t kWindowNoActivate = 0x02000000;
inline constexpr std::uint32_t kWindowHidden = 0x10000000;

// Colour value: red in bits 0..7, green 8..15, blue 16..23; -1 is none.
inline constexpr std::int32_t kNoColour = -1;
std::int32_t ColourFromRgb(int red, int green, int blue);

using EventDataRelease = void (*)(std::int64_t data);

void EventStartup();
void EventShutdown();
void WindowStartup();
void WindowShutdown();

// number -1 asks for a new identifier, which is returned; a number from 0 up
// returns the native window handle. x, y: outer position; width, height: the
// client size. title may be null.
std::int64_t WindowOpen(std::int64_t number, int x, int y, int width, int height, const wchar_t* title,
                        std::uint32_t flags, HWND parent);
void WindowSetColour(std::int64_t number, std::int32_t colour);
// -1 closes every window.
void WindowClose(std::int64_t number);
// The native window of a number, or null.
HWND WindowHandle(std::int64_t number);
// The window number of a native window or of its nearest ancestor that has
// one; -1 when none has.
std::int64_t WindowNumberOf(HWND window);

// timeout: -1 waits without limit, 0 never waits, more than 0 waits up to that
// many milliseconds. Gives a queued event's code, else the identifier of the
// platform message it retrieved and dispatched, else 0.
int NextEvent(int timeout);
std::int64_t CurrentEventObject();
std::int64_t CurrentEventType();
std::int64_t CurrentEventWindow();

// Queues an event on the calling thread's queue (see the folding and
// suppression rules in Event.cpp).
void EventPush(int code, std::int64_t object, std::int64_t window, std::int64_t type, std::int64_t data,
               EventDataRelease release, std::uint32_t flags);
// Drops waiting events of the calling thread; -1 in a field matches any value.
void EventsRemove(int code, std::int64_t object, std::int64_t window, std::int64_t type);
void EventSuppressBegin();
void EventSuppressEnd();

// The calling thread's current container: the window new controls go into,
// and their font.
HWND CurrentContainerWindow();
HFONT CurrentContainerFont();

// The controls layer registers one handler, which the window procedure offers
// WM_COMMAND (with a control in lParam), WM_NOTIFY, WM_HSCROLL, WM_VSCROLL and
// the WM_CTLCOLOR* messages of the control they name. It returns true when it
// takes the message and sets *result; a WM_COMMAND it leaves becomes a control
// event (object = the control's GWLP_ID, type = the notification code).
using ControlMessageHandler = bool (*)(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT* result);
void WindowSetControlHandler(ControlMessageHandler handler);
