// What a firmware path may name, decided before anything is opened. Not part
// of the service's interface: everything outside this folder uses File.h.
#pragma once

#include <string>

// The path to hand to CreateFileW for `path`, or nothing when the path is
// refused: it names a device (a serial port, the console, a raw disk or
// volume) rather than a file, or it has no full form. Device paths are
// refused before any open, as opening a serial port touches its line and a
// Bluetooth port can block the open for seconds. A full path too long for
// the platform's plain form comes back in its long form ("\\?\").
std::wstring FileOpenPath(const wchar_t* path);
