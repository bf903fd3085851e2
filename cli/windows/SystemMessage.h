// The system's own text for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace fwu::cli {

// The text FormatMessage gives for `error`, in UTF-8 without the line break
// at its end; "error N" where the system has no text for it.
std::string SystemMessage(DWORD error);

}  // namespace fwu::cli
