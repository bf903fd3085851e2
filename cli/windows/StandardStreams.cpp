// Standard input, output and error as a program started by a service, a
// scheduler or a script may find them: missing, or a handle value that names
// nothing (a stale value could later name the serial port this program opens,
// and output would go into the device).
#include "cli/Platform.h"

#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <io.h>

namespace fwu::cli {
namespace {

struct StandardSlot {
  DWORD handle;
  std::FILE* stream;
  const char* mode;
};

// The C library takes a standard handle at start by the same rule: one that
// fails it was never given to the library's stream, so reopening that stream
// closes no handle of someone else's.
bool IsUsable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void ReplaceIfUnusable(const StandardSlot& standard) {
  if (IsUsable(GetStdHandle(standard.handle))) return;
  if (!std::freopen("NUL", standard.mode, standard.stream)) return;
  SetStdHandle(standard.handle, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(standard.stream))));
}

}  // namespace

// Points each standard handle that is missing or names no file, pipe or
// device at the null device, for the system's handle and the C library's
// stream alike.
void KeepStandardStreamsOpen() {
  for (const StandardSlot& standard : {StandardSlot{STD_INPUT_HANDLE, stdin, "r"},
                                       StandardSlot{STD_OUTPUT_HANDLE, stdout, "w"},
                                       StandardSlot{STD_ERROR_HANDLE, stderr, "w"}})
    ReplaceIfUnusable(standard);
}

}  // namespace fwu::cli
