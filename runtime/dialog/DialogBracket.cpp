// The dialog bracket and its disabled-window list.
//
// Threads: the list is shared by every thread that shows a dialog and guarded
// by g_lock, which is held only while notes are added or taken out. Each thread
// adds notes for its own windows and takes out only its own notes; the
// platform calls on those windows run outside the lock, on the thread that
// owns them. Notes are list nodes: a window is disabled only once its note
// is made, and notes move in and out of the shared list without allocating,
// so running out of memory cannot leave a window disabled for good.
#include "Dialog.h"

#include "runtime/base/CriticalSection.h"
#include "runtime/base/NeverDestroyed.h"

#include <algorithm>
#include <list>
#include <mutex>
#include <new>

namespace {

struct WindowNote {
  DWORD thread = 0;
  HWND window = nullptr;
  bool wasTopmost = false;
  bool disabledHere = false;
};

NeverDestroyed<CriticalSection> g_lock;
NeverDestroyed<std::list<WindowNote>> g_notes;

struct Enumeration {
  DWORD thread;
  HWND foreground;
  std::list<WindowNote> notes;
};

BOOL CALLBACK NoteWindow(HWND window, LPARAM context) {
  auto& enumeration = *reinterpret_cast<Enumeration*>(context);
  if (GetWindowThreadProcessId(window, nullptr) != enumeration.thread || !IsWindowVisible(window)) return TRUE;
  bool disable = window != enumeration.foreground && IsWindowEnabled(window);
  try {
    enumeration.notes.push_back(
        {enumeration.thread, window, (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, disable});
  } catch (const std::bad_alloc&) {
    return FALSE;  // the windows noted so far are handled; the rest stay as they are
  }
  if (disable) EnableWindow(window, FALSE);
  return TRUE;
}

void PlaceInBand(HWND window, HWND band) { SetWindowPos(window, band, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE); }

std::list<WindowNote> TakeNotesOf(DWORD thread) {
  std::list<WindowNote> taken;
  std::lock_guard guard(*g_lock);
  for (auto it = g_notes->begin(); it != g_notes->end();) {
    auto next = std::next(it);
    if (it->thread == thread) taken.splice(taken.end(), *g_notes, it);
    it = next;
  }
  return taken;
}

}  // namespace

void DialogBracketBegin() {
  Enumeration enumeration{GetCurrentThreadId(), GetForegroundWindow(), {}};
  EnumWindows(NoteWindow, reinterpret_cast<LPARAM>(&enumeration));
  for (const WindowNote& note : enumeration.notes)
    if (note.wasTopmost) PlaceInBand(note.window, HWND_NOTOPMOST);

  std::lock_guard guard(*g_lock);
  g_notes->splice(g_notes->end(), enumeration.notes);
}

void DialogBracketEnd() {
  for (const WindowNote& note : TakeNotesOf(GetCurrentThreadId())) {
    if (note.disabledHere) EnableWindow(note.window, TRUE);
    if (note.wasTopmost) PlaceInBand(note.window, HWND_TOPMOST);
  }
}

std::size_t DialogBracketNoteCount(DWORD threadId) {
  std::lock_guard guard(*g_lock);
  return static_cast<std::size_t>(std::count_if(
      g_notes->begin(), g_notes->end(), [threadId](const WindowNote& note) { return note.thread == threadId; }));
}
