// Modal dialogs: a message box and the platform's open-file dialog, shown on
// the calling thread. Both take the foreground window as their owner when it
// is one of this process's windows, and both run inside the dialog bracket,
// which disables the calling thread's other visible windows and lifts them out
// of the topmost band until the dialog closes.
//
// Return rules: MessageBoxShow gives the MessageBoxW result (IDOK after a box
// of style 0 is dismissed), 0 when no box could be shown. OpenFileDialogShow
// gives the chosen full path, or the empty text when the user cancels, the
// dialog fails or no memory could be had; OpenFileDialogChoose tells these
// apart: the path, the empty text for a cancel, nothing when no dialog could
// be shown or it failed. Nothing here keeps error codes or throws.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Prepares the common controls and COM for the calling (main) thread.
void DialogStartup();

// The foreground window when it belongs to this process, else null. A hidden
// foreground window of ours (a dialog that is closing) gives the nearest
// visible window that owns it.
HWND DialogOwner();

// Before a dialog: disables the calling thread's visible, enabled top-level
// windows other than the foreground window and takes its visible windows out
// of the topmost band, noting each in the disabled-window list.
void DialogBracketBegin();
// After it: restores every window the calling thread noted and drops its
// notes. Other threads' notes are left alone.
void DialogBracketEnd();
// Notes the disabled-window list holds for the thread `threadId`.
std::size_t DialogBracketNoteCount(DWORD threadId);

std::int64_t MessageBoxShow(const wchar_t* title, const wchar_t* text, std::int64_t style = 0);

// `filterPattern` is "label|patterns|label|patterns..." (null: no filters);
// `patternPosition` 0 preselects the first filter. `defaultFile` may be null
// (no initial folder, empty name) or a path whose folder and name seed the
// dialog.
std::wstring OpenFileDialogShow(const wchar_t* title, const wchar_t* defaultFile, const wchar_t* filterPattern,
                                std::int64_t patternPosition);
std::optional<std::wstring> OpenFileDialogChoose(const wchar_t* title, const wchar_t* defaultFile,
                                                 const wchar_t* filterPattern, std::int64_t patternPosition);

// The platform's filter list: every '|' of the pattern turned into a NUL and
// three NULs appended, so the last item ends in at least two.
std::wstring BuildFilterText(const wchar_t* filterPattern);

// A default file split at its last backslash: the folder before it (when the
// backslash is not the first character) and the name after it. Otherwise the
// folder is empty and the name is the whole text. `name` is cut to 259
// characters and emptied when it is not a valid file name.
struct DefaultFileParts {
  std::wstring folder;
  std::wstring name;
};
DefaultFileParts SplitDefaultFile(const wchar_t* defaultFile);
// Not empty and free of control characters and of " * / : < > ? \ |.
bool IsValidFileName(const std::wstring& name);
