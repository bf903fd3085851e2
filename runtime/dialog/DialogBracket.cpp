// The dialog bracket and its disabled-window list.
//
// Threads: the list is shared by every thread that shows a dialog and guarded
// by g_lock, which is held only while notes are added or taken out. Each thread
// adds notes for its own windows and takes out only its own notes; the
// platform calls on those windows run outside the lock, on the thread that
// owns them.
#include "Dialog.h"

#include "runtime/base/CriticalSection.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct WindowNote {
  DWORD thread = 0;
  HWND window = nullptr;
  bool wasTopmost = false;
  bool disabledHere = false;
};

CriticalSection g_lock;
std::vector<WindowNote> g_notes;

struct Enumeration {
  DWORD thread;
  HWND foreground;
  std::vector<WindowNote> notes;
};

BOOL CALLBACK NoteWindow(HWND window, LPARAM context) {
  auto& enumeration = *reinterpret_cast<Enumeration*>(context);
  if (GetWindowThreadProcessId(window, nullptr) != enumeration.thread || !IsWindowVisible(window)) return TRUE;
  WindowNote note{enumeration.thread, window, (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, false};
  if (window != enumeration.foreground && IsWindowEnabled(window)) {
    note.disabledHere = true;
    EnableWindow(window, FALSE);
  }
  enumeration.notes.push_back(note);
  return TRUE;
}

void PlaceInBand(HWND window, HWND band) { SetWindowPos(window, band, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE); }

std::vector<WindowNote> TakeNotesOf(DWORD thread) {
  std::lock_guard guard(g_lock);
  auto mine = std::stable_partition(g_notes.begin(), g_notes.end(),
                                    [thread](const WindowNote& note) { return note.thread != thread; });
  std::vector<WindowNote> taken(mine, g_notes.end());
  g_notes.erase(mine, g_notes.end());
  return taken;
}

}  // namespace

void DialogBracketBegin() {
  Enumeration enumeration{GetCurrentThreadId(), GetForegroundWindow(), {}};
  EnumWindows(NoteWindow, reinterpret_cast<LPARAM>(&enumeration));
  for (const WindowNote& note : enumeration.notes)
    if (note.wasTopmost) PlaceInBand(note.window, HWND_NOTOPMOST);

  std::lock_guard guard(g_lock);
  g_notes.insert(g_notes.end(), enumeration.notes.begin(), enumeration.notes.end());
}

void DialogBracketEnd() {
  for (const WindowNote& note : TakeNotesOf(GetCurrentThreadId())) {
    if (note.disabledHere) EnableWindow(note.window, TRUE);
    if (note.wasTopmost) PlaceInBand(note.window, HWND_TOPMOST);
  }
}

std::size_t DialogBracketNoteCount(DWORD threadId) {
  std::lock_guard guard(g_lock);
  return static_cast<std::size_t>(std::count_if(
      g_notes.begin(), g_notes.end(), [threadId](const WindowNote& note) { return note.thread == threadId; }));
}
