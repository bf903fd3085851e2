// Standard input, output and error as a program started by a service, a
// scheduler or a script may find them: missing, or a handle value that names
// nothing (a stale value could later name the serial port this program opens,
// and output would go into the device).
#pragma once

namespace fwu::cli {

// Points each standard handle that is missing or names no file, pipe or
// device at the null device, for the system's handle and the C library's
// stream alike. First thing in the program, before any other handle is made.
void ReplaceUnusableStandardHandles();

}  // namespace fwu::cli
