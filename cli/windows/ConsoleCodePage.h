// The console's output code page: UTF-8 while fwupload runs, so that the
// UTF-8 text it writes (friendly names, file names) shows as it is. The code
// page belongs to the console, which outlives the program, so it is put back.
#pragma once

namespace fwu::cli {

// Sets the console's output to UTF-8 and puts the old code page back when the
// program exits. Does nothing without a console.
void ShowUtf8OnConsole();

// Puts the console's code page back now, for a way out that skips the
// program's exit (safe to call from any thread, and more than once).
void RestoreConsoleCodePage();

}  // namespace fwu::cli
