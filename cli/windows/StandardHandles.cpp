#include "cli/windows/StandardHandles.h"

#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <io.h>

namespace fwu::cli {
namespace {

struct StandardStream {
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

void ReplaceIfUnusable(const StandardStream& standard) {
  if (IsUsable(GetStdHandle(standard.handle))) return;
  if (!std::freopen("NUL", standard.mode, standard.stream)) return;
  SetStdHandle(standard.handle, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(standard.stream))));
}

}  // namespace

void ReplaceUnusableStandardHandles() {
  for (const StandardStream& standard : {StandardStream{STD_INPUT_HANDLE, stdin, "r"},
                                         StandardStream{STD_OUTPUT_HANDLE, stdout, "w"},
                                         StandardStream{STD_ERROR_HANDLE, stderr, "w"}})
    ReplaceIfUnusable(standard);
}

}  // namespace fwu::cli
